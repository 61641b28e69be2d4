#include "String.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace fw {

static_assert(sizeof(uintptr_t) == 8, "the inline form needs a 64-bit word");

uintptr_t String::MakeHeap(std::string_view s)
{
    if (s.size() > UINT32_MAX)
        throw std::bad_alloc();
    auto* b = static_cast<Buf*>(std::malloc(offsetof(Buf, bytes) + s.size() + 1));
    if (!b)
        throw std::bad_alloc();
    b->refs = 1;
    b->size = static_cast<uint32_t>(s.size());
    std::memcpy(b->bytes, s.data(), s.size());
    b->bytes[s.size()] = 0;
    return reinterpret_cast<uintptr_t>(b);
}

void String::ReleaseHeap()
{
    if (--Heap()->refs == 0)
        std::free(Heap());
}

String operator+(const String& a, const String& b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    size_t n = a.size() + b.size();
    if (n <= 7) {
        char joined[7];
        std::memcpy(joined, a.data(), a.size());
        std::memcpy(joined + a.size(), b.data(), b.size());
        return String(std::string_view(joined, n));
    }
    // Straight into the result's own buffer: an export joins a dozen texts per line, a
    // million times over, and a scratch copy on the way doubled its allocations.
    if (n > UINT32_MAX)
        throw std::bad_alloc();
    auto* buf = static_cast<String::Buf*>(std::malloc(offsetof(String::Buf, bytes) + n + 1));
    if (!buf)
        throw std::bad_alloc();
    buf->refs = 1;
    buf->size = static_cast<uint32_t>(n);
    std::memcpy(buf->bytes, a.data(), a.size());
    std::memcpy(buf->bytes + a.size(), b.data(), b.size());
    buf->bytes[n] = 0;
    String joined;
    joined.rep_ = reinterpret_cast<uintptr_t>(buf);
    return joined;
}

} // namespace fw
