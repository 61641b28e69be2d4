#pragma once
// Boxed values, as kept in a list's cell tags.
#include "Ref.h"
#include "String.h"

#include <cstdint>
#include <variant>

namespace fw {

// The one conversion of a double to a 32-bit integer, wherever the program needs it: to the
// nearest integer, halves away from zero, clamped to the Int32 range, NaN to 0.
int32_t DoubleToInt32(double d);

class Variant {
public:
    Variant() = default;
    Variant(int32_t v) : v_(v) {}
    Variant(double v) : v_(v) {}
    Variant(String v) : v_(std::move(v)) {}
    Variant(Ref<Object> v) : v_(std::move(v)) {}
    template <typename T>
    Variant(const Ref<T>& v) : v_(Ref<Object>(v)) {}

    bool IsNil() const;
    bool IsInteger() const { return std::holds_alternative<int32_t>(v_); }
    // A double converts with DoubleToInt32; text is parsed.
    int32_t ToInt32() const
    {
        if (auto* i = std::get_if<int32_t>(&v_))
            return *i;
        return ToInt32Slow();
    }
    double ToDouble() const
    {
        if (auto* i = std::get_if<int32_t>(&v_))
            return *i;
        return ToDoubleSlow();
    }
    String ToString() const;
    Ref<Object> ToObject() const; // nil for anything but an object

private:
    int32_t ToInt32Slow() const;
    double ToDoubleSlow() const;
    std::variant<std::monostate, int32_t, double, String, Ref<Object>> v_;
};

inline Variant Int32ToVariant(int32_t v) { return Variant(v); }
inline double VariantToDouble(const Variant& v) { return v.ToDouble(); }
inline int32_t VariantToInt32(const Variant& v) { return v.ToInt32(); }

} // namespace fw
