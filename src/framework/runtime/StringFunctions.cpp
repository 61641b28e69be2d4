#include "StringFunctions.h"

#include <QChar>

#include <algorithm>
#include <charconv>

namespace fw {
namespace {

// Decodes one character at s[i]; an invalid or truncated sequence yields the single byte.
char32_t Decode(std::string_view s, size_t& i)
{
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    size_t n = (c >= 0xC2 && c <= 0xDF) ? 1 : (c >= 0xE0 && c <= 0xEF) ? 2 : (c >= 0xF0 && c <= 0xF4) ? 3 : 0;
    if (n && s.size() - i > n) {
        char32_t cp = c & (0x3F >> n);
        bool ok = true;
        for (size_t k = 1; k <= n; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            ok = ok && (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        bool overlong = (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000);
        if (ok && !overlong && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
            i += n + 1;
            return cp;
        }
    }
    ++i;
    return 0xDC00 + c; // a lone byte: a stand-in that no decoded character can equal
}

bool IsAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char32_t Fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xDC80 && c <= 0xDCFF)
        return c;
    return QChar::toCaseFolded(static_cast<char32_t>(c));
}

struct Chars {
    std::vector<char32_t> folded;
    std::vector<size_t> offset; // byte offset of each character, plus the end
};

Chars Explode(std::string_view s)
{
    Chars r;
    r.folded.reserve(s.size());
    r.offset.reserve(s.size() + 1);
    for (size_t i = 0; i < s.size();) {
        r.offset.push_back(i);
        r.folded.push_back(Fold(Decode(s, i)));
    }
    r.offset.push_back(s.size());
    return r;
}

// Byte offset of character position pos (0-based); the end when past it.
size_t ByteOffset(std::string_view s, int64_t pos)
{
    size_t i = 0;
    for (int64_t k = 0; k < pos && i < s.size(); ++k)
        Decode(s, i);
    return i;
}

// Index (0-based, in characters) of the first match of find at or after from, or -1.
int64_t Find(std::string_view s, std::string_view find, int64_t from, size_t* byteStart = nullptr,
             size_t* byteEnd = nullptr)
{
    if (IsAscii(s) && IsAscii(find)) {
        if (from < 0 || static_cast<size_t>(from) > s.size() || find.size() > s.size())
            return -1;
        auto eq = [](char a, char b) { return Fold(static_cast<unsigned char>(a)) == Fold(static_cast<unsigned char>(b)); };
        auto it = std::search(s.begin() + from, s.end(), find.begin(), find.end(), eq);
        if (it == s.end() && !find.empty())
            return -1;
        size_t at = it - s.begin();
        if (byteStart) *byteStart = at;
        if (byteEnd) *byteEnd = at + find.size();
        return static_cast<int64_t>(at);
    }
    Chars hs = Explode(s), nd = Explode(find);
    size_t n = hs.folded.size(), m = nd.folded.size();
    for (size_t k = std::max<int64_t>(from, 0); k + m <= n; ++k) {
        if (std::equal(nd.folded.begin(), nd.folded.end(), hs.folded.begin() + k)) {
            if (byteStart) *byteStart = hs.offset[k];
            if (byteEnd) *byteEnd = hs.offset[k + m];
            return static_cast<int64_t>(k);
        }
    }
    return -1;
}

bool IsBlank(char32_t c)
{
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0xA0 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x3000 || c == 0x202F || c == 0x205F;
}

} // namespace

int32_t Len(const String& s)
{
    std::string_view v = s.view();
    if (IsAscii(v))
        return static_cast<int32_t>(v.size());
    int32_t n = 0;
    for (size_t i = 0; i < v.size(); ++n)
        Decode(v, i);
    return n;
}

String Mid(const String& s, int32_t start, int32_t length)
{
    if (start < 1 || length <= 0)
        return start < 1 && length > 0 ? Mid(s, 1, length + start - 1) : String();
    std::string_view v = s.view();
    size_t b = ByteOffset(v, start - 1);
    size_t e = b;
    for (int32_t k = 0; k < length && e < v.size(); ++k)
        Decode(v, e);
    return String(v.substr(b, e - b));
}

String Mid(const String& s, int32_t start)
{
    std::string_view v = s.view();
    size_t b = ByteOffset(v, std::max(start, 1) - 1);
    return String(v.substr(b));
}

int32_t InStr(int32_t start, const String& s, const String& find)
{
    if (find.empty())
        return 0;
    int64_t at = Find(s.view(), find.view(), std::max(start, 1) - 1);
    return at < 0 ? 0 : static_cast<int32_t>(at + 1);
}

int32_t InStr(const String& s, const String& find) { return InStr(1, s, find); }

String Replace(const String& s, const String& find, const String& by)
{
    if (find.empty())
        return s;
    size_t b = 0, e = 0;
    if (Find(s.view(), find.view(), 0, &b, &e) < 0)
        return s;
    std::string r(s.view().substr(0, b));
    r.append(by.view()).append(s.view().substr(e));
    return String(r);
}

std::vector<String> Split(const String& s, const String& separator)
{
    std::vector<String> pieces;
    pieces.reserve(4); // a file name's pieces, in one allocation
    std::string_view v = s.view();
    if (separator.empty()) {
        pieces.emplace_back(s);
        return pieces;
    }
    std::string_view sep = separator.view();
    auto byte = static_cast<unsigned char>(sep[0]);
    if (sep.size() == 1 && byte < 0x80 && Fold(byte) == byte && !(byte >= 'a' && byte <= 'z')) {
        // A one-byte separator without letter case, such as ".": a byte search finds it, and
        // it can never be part of a longer character.
        size_t from = 0;
        for (size_t at; (at = v.find(sep[0], from)) != std::string_view::npos; from = at + 1)
            pieces.emplace_back(v.substr(from, at - from));
        pieces.emplace_back(v.substr(from));
        return pieces;
    }
    size_t from = 0;
    for (;;) {
        size_t b = 0, e = 0;
        std::string_view rest = v.substr(from);
        if (Find(rest, separator.view(), 0, &b, &e) < 0) {
            pieces.emplace_back(rest);
            return pieces;
        }
        pieces.emplace_back(rest.substr(0, b));
        from += e;
    }
}

String Trim(const String& s)
{
    std::string_view v = s.view();
    auto plain = [](char c) { return static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x80; };
    if (v.empty() || (plain(v.front()) && plain(v.back())))
        return s; // the usual name: nothing to trim at either end
    size_t b = 0, e = v.size();
    while (b < e) {
        size_t i = b;
        if (!IsBlank(Decode(v, i))) break;
        b = i;
    }
    // Walk back over blanks: find the last non-blank character's end by scanning forward.
    size_t lastEnd = b;
    for (size_t i = b; i < e;) {
        char32_t c = Decode(v, i);
        if (!IsBlank(c)) lastEnd = i;
    }
    if (b == 0 && lastEnd == v.size())
        return s;
    return String(v.substr(b, lastEnd - b));
}

String Chr(int32_t code)
{
    std::string s;
    auto c = static_cast<uint32_t>(code);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return String();
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return String(s);
}

bool EqualsIgnoringCase(std::string_view x, std::string_view y)
{
    bool ascii = IsAscii(x) && IsAscii(y);
    if (ascii && x.size() != y.size())
        return false;
    if (ascii)
        return std::equal(x.begin(), x.end(), y.begin(), [](char p, char q) {
            return Fold(static_cast<unsigned char>(p)) == Fold(static_cast<unsigned char>(q));
        });
    return Explode(x).folded == Explode(y).folded;
}

int NaturalCompare(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    auto digit = [](std::string_view s, size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a, i) && digit(b, j)) {
            size_t ia = i, jb = j;
            while (ia < a.size() && a[ia] == '0') ++ia;
            while (jb < b.size() && b[jb] == '0') ++jb;
            size_t ea = ia, eb = jb;
            while (digit(a, ea)) ++ea;
            while (digit(b, eb)) ++eb;
            if (ea - ia != eb - jb)
                return ea - ia < eb - jb ? -1 : 1;
            if (int c = a.substr(ia, ea - ia).compare(b.substr(jb, eb - jb)); c != 0)
                return c < 0 ? -1 : 1;
            i = ea;
            j = eb;
            continue;
        }
        char32_t ca = Fold(Decode(a, i)), cb = Fold(Decode(b, j));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

namespace {

// Appends a character in UTF-8, whose byte order is the order of the code points.
void AppendOrdered(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

} // namespace

// A run of digits becomes "0" (it meets other characters as any digit does), its length
// without leading zeros (one byte below 255, else 255 and four bytes), then those digits: so a
// longer number sorts after a shorter one and numbers of one length by their digits.
void AppendNaturalKey(std::string_view s, std::string& key)
{
    auto digit = [&](size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80 && !digit(i)) {
            key.push_back(char(c >= 'A' && c <= 'Z' ? c + 32 : c));
            ++i;
            continue;
        }
        if (c >= 0x80) {
            AppendOrdered(Fold(Decode(s, i)), key);
            continue;
        }
        while (i < s.size() && s[i] == '0' && digit(i + 1))
            ++i;
        size_t end = i;
        while (digit(end))
            ++end;
        size_t length = s[i] == '0' ? 0 : end - i;
        key.push_back('0');
        if (length < 255) {
            key.push_back(char(length));
        } else {
            key.push_back(char(255));
            for (int shift = 24; shift >= 0; shift -= 8)
                key.push_back(char((uint64_t(length) >> shift) & 0xFF));
        }
        key.append(s.substr(end - length, length));
        i = end;
    }
}

} // namespace fw
