#pragma once
// Class tables: the run-time description of a class. Objects are made from them, casts test
// against them, property records are decoded against their property lists, and the framework
// raises a class's events through their bindings. Each class builds its table once.
#include "Object.h"
#include "Ref.h"
#include "String.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fw {

struct Attribute {
    std::string name;
    std::optional<std::string> value;
};

// A value decoded from a property record.
struct PropertyValue {
    char type = 'I'; // I Int32, B Boolean, C colour, S string
    int32_t i = 0;
    bool b = false;
    uint8_t rgb[3] = {0, 0, 0};
    std::string s;
};

struct PropertyInfo {
    std::string name;
    std::string typeCode;  // "i4", "b", "s", "c", "o<Picture>" ...
    char recordType = 0;   // the letter a property record encodes it with, 0 when it takes none
    std::function<void(Object&, const PropertyValue&)> set; // empty: kept, not shown
    std::vector<Attribute> attributes;
};

struct MemberInfo {
    std::string name;
    std::string signature;
    std::vector<Attribute> attributes;
};

struct EventBinding {
    std::string name;
    std::function<void(Object&)> handler; // empty: the framework's default behaviour
};

class ClassTable {
public:
    std::string name;
    ClassTable* parent = nullptr;
    std::vector<PropertyInfo> properties; // own properties; lookups walk the parents
    std::vector<MemberInfo> members;      // own members, in order
    std::vector<EventBinding> events;     // every event of the class, the parent's included
    std::vector<Attribute> attributes;
    std::function<Object*()> factory;     // makes an object without running a constructor
    std::function<void(Object&)> exitHook;

    const PropertyInfo* FindProperty(std::string_view propertyName) const;
    EventBinding* FindEvent(std::string_view eventName);
    void DeclareEvent(const std::string& eventName);
    void BindEvent(std::string_view eventName, std::function<void(Object&)> handler);
    bool IsA(const ClassTable* other) const;
};

// A new class table whose parent is the given one; its event list starts as the parent's,
// with no handler bound.
ClassTable* RuntimeNewClass(ClassTable* parent, std::string name);
// How many class tables have been built in this process (a table is built only once).
int RuntimeClassTableCount();
const std::vector<ClassTable*>& RuntimeAllClassTables();

// Makes an object of the class from its table; no constructor runs.
Ref<Object> RuntimeNewObject(ClassTable* table);

// The object as the class of the table; a nil object stays nil, an object of another class
// raises IllegalCastException.
Ref<Object> RuntimeCheckCast(const Ref<Object>& object, ClassTable* table);

template <typename T>
Ref<T> RuntimeCheckCast(const Ref<Object>& object)
{
    // Every class table stands for the C++ class that declares it, so a passed test makes the
    // static cast safe.
    Ref<Object> o = RuntimeCheckCast(object, T::Lookup());
    return Ref<T>(static_cast<T*>(o.Get()));
}

// Raises an object's event through its class's binding; false when nothing is bound.
bool RaiseEvent(Object& object, std::string_view eventName);

} // namespace fw

// Builds a table once: `FW_CLASS_TABLE(Class, Parent, "Name") { ...fill t... }` defines
// Class::ctblinit, Class::Lookup and the body that fills the new table t (a member, so that a
// factory may call a protected constructor). Use it inside the class's namespace.
#define FW_CLASS_TABLE(Cls, Parent, NameText)                                                      \
    static ::fw::ClassTable* Cls##_table = nullptr;                                                \
    ::fw::ClassTable* Cls::Lookup()                                                                \
    {                                                                                              \
        if (!Cls##_table)                                                                          \
            ctblinit();                                                                            \
        return Cls##_table;                                                                        \
    }                                                                                              \
    void Cls::ctblinit()                                                                           \
    {                                                                                              \
        if (Cls##_table)                                                                           \
            return;                                                                                \
        ::fw::ClassTable* t = ::fw::RuntimeNewClass(Parent::Lookup(), NameText);                   \
        Cls::FillClassTable(*t);                                                                   \
        Cls##_table = t;                                                                           \
    }                                                                                              \
    void Cls::FillClassTable(::fw::ClassTable& t)
