#pragma once
// String: the framework's immutable, shared UTF-8 text, one machine word wide.
// Up to seven bytes live inside the handle itself (running numbers, short names cost no
// allocation); longer texts share one counted buffer, so copies are free. The bytes are kept
// exactly as given, valid UTF-8 or not; the character functions never fail on invalid input.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace fw {

class String {
public:
    String() = default;
    String(const char* s) : String(std::string_view(s ? s : "")) {}
    String(std::string_view s)
    {
        if (s.size() <= 7) {
            // Little-endian: the low byte holds the length and the tag, the text follows it.
            uintptr_t r = (uintptr_t(s.size()) << 1) | 1;
            if (!s.empty())
                std::memcpy(reinterpret_cast<char*>(&r) + 1, s.data(), s.size());
            rep_ = s.empty() ? 0 : r;
            return;
        }
        rep_ = MakeHeap(s);
    }
    String(const std::string& s) : String(std::string_view(s)) {}
    String(const String& o) : rep_(o.rep_) { Retain(); }
    String(String&& o) noexcept : rep_(o.rep_) { o.rep_ = 0; }
    ~String()
    {
        if (rep_ && !IsInline())
            ReleaseHeap();
    }
    String& operator=(const String& o)
    {
        String t(o);
        Swap(t);
        return *this;
    }
    String& operator=(String&& o) noexcept
    {
        Swap(o);
        return *this;
    }
    void Swap(String& o) noexcept { std::swap(rep_, o.rep_); }

    const char* data() const { return IsInline() ? InlineData() : (rep_ ? Heap()->bytes : ""); }
    size_t size() const { return IsInline() ? (rep_ & 0xff) >> 1 : (rep_ ? Heap()->size : 0); }
    bool empty() const { return size() == 0; }
    std::string_view view() const { return {data(), size()}; }
    std::string str() const { return std::string(view()); }

    // Byte-exact comparison; the platform's user-facing equality is fw::Equals.
    friend bool operator==(const String& a, const String& b) { return a.view() == b.view(); }
    friend bool operator==(const String& a, const char* b) { return a.view() == std::string_view(b); }
    friend String operator+(const String& a, const String& b);

    // True when two handles share one buffer (used to check that texts are shared, not copied).
    bool SharesBufferWith(const String& o) const { return rep_ == o.rep_ && rep_ != 0; }

private:
    struct Buf {
        uint32_t refs;
        uint32_t size;
        char bytes[1];
    };
    bool IsInline() const { return rep_ & 1; }
    const char* InlineData() const { return reinterpret_cast<const char*>(&rep_) + 1; }
    Buf* Heap() const { return reinterpret_cast<Buf*>(rep_); }
    void Retain() const
    {
        if (rep_ && !IsInline()) ++Heap()->refs;
    }
    void Release()
    {
        if (rep_ && !IsInline())
            ReleaseHeap();
        rep_ = 0;
    }
    void ReleaseHeap();
    static uintptr_t MakeHeap(std::string_view s);

    uintptr_t rep_ = 0;
};

static_assert(sizeof(String) == 8, "String is one word");

} // namespace fw
