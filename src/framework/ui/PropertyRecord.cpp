#include "PropertyRecord.h"

#include <cctype>

namespace fw {
namespace {

uint32_t ReadBigEndian(std::string_view r, size_t at)
{
    return (uint32_t(uint8_t(r[at])) << 24) | (uint32_t(uint8_t(r[at + 1])) << 16) |
           (uint32_t(uint8_t(r[at + 2])) << 8) | uint32_t(uint8_t(r[at + 3]));
}

[[noreturn]] void Refuse(const ClassTable* cls, size_t at, const std::string& why)
{
    throw UnsupportedFormatException("The design-time properties of a " + cls->name + " are damaged at byte " +
                                     std::to_string(at) + ": " + why + ".");
}

size_t ValueSize(char type)
{
    switch (type) {
    case 'I': return 4;
    case 'B': return 1;
    case 'C': return 3;
    case 'S': return 4;
    default: return 0;
    }
}

} // namespace

std::vector<DecodedProperty> DecodePropertyRecord(const ClassTable* cls, std::string_view r)
{
    if (!cls)
        ThrowNilObject();
    std::vector<DecodedProperty> out;
    size_t at = 0;
    while (at < r.size()) {
        size_t begin = at;
        while (at < r.size() && (std::isalnum(uint8_t(r[at])) || r[at] == '_'))
            ++at;
        if (at == begin)
            Refuse(cls, begin, "a property name was expected");
        if (at >= r.size() || r[at] != ' ')
            Refuse(cls, at, "the record ends inside a property name");
        std::string name(r.substr(begin, at - begin));
        ++at;
        const PropertyInfo* p = cls->FindProperty(name);
        if (!p || !p->recordType)
            Refuse(cls, begin, "there is no property named \"" + name + "\"");
        size_t need = ValueSize(p->recordType);
        if (r.size() - at < need)
            Refuse(cls, at, "the record ends inside the value of " + name);
        PropertyValue v;
        v.type = p->recordType;
        switch (p->recordType) {
        case 'I': v.i = static_cast<int32_t>(ReadBigEndian(r, at)); break;
        case 'B': v.b = r[at] != 0; break;
        case 'C': for (int k = 0; k < 3; ++k) v.rgb[k] = uint8_t(r[at + k]); break;
        case 'S': {
            uint32_t n = ReadBigEndian(r, at);
            if (r.size() - at - 4 < n)
                Refuse(cls, at, "the record ends inside the text of " + name);
            v.s.assign(r.substr(at + 4, n));
            need += n;
            break;
        }
        }
        at += need;
        out.push_back({p, std::move(v), begin, at});
    }
    return out;
}

void SetProperties(Object& object, std::string_view record)
{
    for (const DecodedProperty& d : DecodePropertyRecord(object.Class(), record))
        if (d.property->set)
            d.property->set(object, d.value);
}

PropertyInfo KeptProperty(const char* name, char type)
{
    std::string n = name;
    const char* code = type == 'I' ? "i4" : type == 'B' ? "b" : type == 'C' ? "c" : "s";
    return {name, code, type, [n](Object& o, const PropertyValue& v) {
                if (auto* k = dynamic_cast<PropertyKeeper*>(&o))
                    k->Keep(n, v);
            }, {}};
}

void PropertyKeeper::Keep(const std::string& name, const PropertyValue& v)
{
    for (auto& [n, value] : kept_)
        if (n == name) {
            value = v;
            return;
        }
    kept_.emplace_back(name, v);
}

const PropertyValue* PropertyKeeper::Kept(const std::string& name) const
{
    for (const auto& [n, value] : kept_)
        if (n == name)
            return &value;
    return nullptr;
}

} // namespace fw
