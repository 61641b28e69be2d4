#pragma once
// Property records: design-time property values in a compact byte format, applied to an object
// in one call. Each entry is a property name, one blank, and the value in the encoding of that
// property's type in the object's class: I (Int32, 4 bytes big-endian), B (1 byte), C (3 bytes
// r, g, b), S (4-byte big-endian length, then the bytes). The record carries no type tags, so
// a name the class does not know makes the rest unreadable: such a record is refused whole, as
// is one that ends inside a value. Nothing is applied from a refused record.
#include "framework/runtime/ClassTable.h"

#include <string_view>
#include <vector>

namespace fw {

struct DecodedProperty {
    const PropertyInfo* property;
    PropertyValue value;
    size_t begin; // offset of the entry's first byte
    size_t end;   // offset just past its value
};

std::vector<DecodedProperty> DecodePropertyRecord(const ClassTable* cls, std::string_view record);
// Decodes the record against the object's class and applies each value in order.
void SetProperties(Object& object, std::string_view record);

// Helpers for the property tables of the framework's classes.
template <typename C>
PropertyInfo IntProperty(const char* name, void (C::*set)(int32_t))
{
    return {name, "i4", 'I', [set](Object& o, const PropertyValue& v) { (static_cast<C&>(o).*set)(v.i); }, {}};
}
template <typename C>
PropertyInfo BoolProperty(const char* name, void (C::*set)(bool))
{
    return {name, "b", 'B', [set](Object& o, const PropertyValue& v) { (static_cast<C&>(o).*set)(v.b); }, {}};
}
template <typename C>
PropertyInfo StringProperty(const char* name, void (C::*set)(const String&))
{
    return {name, "s", 'S',
            [set](Object& o, const PropertyValue& v) { (static_cast<C&>(o).*set)(String(v.s)); }, {}};
}
// A property the framework accepts and keeps with the object but does not show.
PropertyInfo KeptProperty(const char* name, char type);

// Where kept values go.
class PropertyKeeper {
public:
    virtual ~PropertyKeeper() = default;
    void Keep(const std::string& name, const PropertyValue& v);
    const PropertyValue* Kept(const std::string& name) const;

private:
    std::vector<std::pair<std::string, PropertyValue>> kept_;
};

} // namespace fw
