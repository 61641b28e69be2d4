#include "Variant.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace fw {

bool Variant::IsNil() const
{
    if (std::holds_alternative<std::monostate>(v_))
        return true;
    if (auto* o = std::get_if<Ref<Object>>(&v_))
        return o->IsNil();
    return false;
}

double Variant::ToDoubleSlow() const
{
    if (auto* d = std::get_if<double>(&v_))
        return *d;
    if (auto* s = std::get_if<String>(&v_))
        return std::strtod(s->str().c_str(), nullptr);
    if (std::holds_alternative<Ref<Object>>(v_) && !IsNil())
        throw TypeMismatchException("An object cannot be used as a number.");
    return 0;
}

int32_t DoubleToInt32(double d)
{
    if (std::isnan(d))
        return 0;
    d = std::round(d);
    if (d >= std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (d <= std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(d);
}

int32_t Variant::ToInt32Slow() const { return DoubleToInt32(ToDouble()); }

String Variant::ToString() const
{
    if (auto* s = std::get_if<String>(&v_))
        return *s;
    if (auto* i = std::get_if<int32_t>(&v_))
        return String(std::to_string(*i));
    if (auto* d = std::get_if<double>(&v_))
        return String(std::to_string(*d));
    return String();
}

Ref<Object> Variant::ToObject() const
{
    if (auto* o = std::get_if<Ref<Object>>(&v_))
        return *o;
    return nullptr;
}

} // namespace fw
