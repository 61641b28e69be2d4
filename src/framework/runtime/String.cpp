#include "String.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace fw {

static_assert(sizeof(uintptr_t) == 8, "the inline form needs a 64-bit word");

String::String(std::string_view s)
{
    if (s.empty())
        return;
    if (s.size() <= 7) {
        // Little-endian: the low byte holds the length and the tag, the text follows it.
        uintptr_t r = (uintptr_t(s.size()) << 1) | 1;
        std::memcpy(reinterpret_cast<char*>(&r) + 1, s.data(), s.size());
        rep_ = r;
        return;
    }
    if (s.size() > UINT32_MAX)
        throw std::bad_alloc();
    auto* b = static_cast<Buf*>(std::malloc(offsetof(Buf, bytes) + s.size() + 1));
    if (!b)
        throw std::bad_alloc();
    b->refs = 1;
    b->size = static_cast<uint32_t>(s.size());
    std::memcpy(b->bytes, s.data(), s.size());
    b->bytes[s.size()] = 0;
    rep_ = reinterpret_cast<uintptr_t>(b);
}

void String::Release()
{
    if (rep_ && !IsInline() && --Heap()->refs == 0)
        std::free(Heap());
    rep_ = 0;
}

String operator+(const String& a, const String& b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    std::string s;
    s.reserve(a.size() + b.size());
    s.append(a.view()).append(b.view());
    return String(s);
}

} // namespace fw
