#pragma once
// Ref<T>: the owning smart pointer over Object. Copy retains, destruction releases.
// Access through -> or * is checked: a nil Ref raises NilObjectException.
#include "Exceptions.h"
#include "Object.h"

#include <cstddef>
#include <type_traits>
#include <utility>

namespace fw {

[[noreturn]] void ThrowNilObject();

template <typename T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    Ref(T* p) : p_(p) { if (p_) p_->Retain(); }
    Ref(T& r) : Ref(&r) {}
    Ref(const Ref& o) : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& o) : Ref(static_cast<T*>(o.Get())) {}
    ~Ref() { if (p_) p_->Release(); }

    Ref& operator=(Ref o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const
    {
        if (!p_) ThrowNilObject();
        return p_;
    }
    T& operator*() const { return *operator->(); }
    explicit operator bool() const { return p_ != nullptr; }
    bool IsNil() const { return p_ == nullptr; }
    void Clear() { *this = Ref(); }

    friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }
    friend bool operator==(const Ref& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

// Makes a new object and hands back its first owner.
template <typename T, typename... A>
Ref<T> MakeRef(A&&... args)
{
    return Ref<T>(new T(std::forward<A>(args)...));
}

} // namespace fw
