#pragma once
// The root of every framework object: an intrusive, single-threaded reference count.
// Everything here runs on the user-interface thread, so the count needs no atomics.
#include <cstdint>

namespace fw {

class ClassTable;

class Object {
public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;

    void Retain() const { ++refs_; }
    void Release() const
    {
        if (--refs_ == 0)
            delete this;
    }
    int32_t RefCount() const { return refs_; }

    // The class table this object was made from; every class with a table overrides it.
    virtual ClassTable* Class() const;
    static ClassTable* Lookup();
    static void ctblinit();

protected:
    Object() = default;

private:
    mutable int32_t refs_ = 0;
};

} // namespace fw

// Declares the class-table plumbing of a framework or application class.
#define FW_DECLARE_CLASS()                                                                         \
public:                                                                                            \
    static ::fw::ClassTable* Lookup();                                                             \
    static void ctblinit();                                                                        \
    ::fw::ClassTable* Class() const override { return Lookup(); }                                  \
                                                                                                   \
private:                                                                                           \
    static void FillClassTable(::fw::ClassTable& t);
