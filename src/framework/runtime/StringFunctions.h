#pragma once
// The platform's string functions. Characters are Unicode code points, positions count from 1.
// A byte that is not part of valid UTF-8 counts as one character of its own, so every function
// accepts every byte string. Comparisons, searches and replacement ignore letter case, as the
// platform's string operations do.
#include "String.h"

#include <charconv>
#include <cstdint>
#include <vector>

namespace fw {

int32_t Len(const String& s);
String Mid(const String& s, int32_t start, int32_t length);
String Mid(const String& s, int32_t start);
// Position (from 1) of the first occurrence of find at or after start, 0 when absent.
int32_t InStr(int32_t start, const String& s, const String& find);
int32_t InStr(const String& s, const String& find);
// Replaces the first occurrence only.
String Replace(const String& s, const String& find, const String& by);
std::vector<String> Split(const String& s, const String& separator);
String Trim(const String& s);
inline String Str(int32_t n)
{
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, n);
    return String(std::string_view(buf, size_t(r.ptr - buf)));
}
String Chr(int32_t code);
// The platform's string equality: letter case is ignored.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
inline bool Equals(const String& a, const String& b)
{
    // ASCII text, the usual case (file extensions, digits), is compared here without a call:
    // folding its letter case keeps its length, so texts of different lengths differ.
    std::string_view x = a.view(), y = b.view();
    bool ascii = true;
    for (char c : x)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    for (char c : y)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii)
        return EqualsIgnoringCase(x, y);
    if (x.size() != y.size())
        return false;
    for (size_t i = 0; i < x.size(); ++i) {
        unsigned char p = static_cast<unsigned char>(x[i]), q = static_cast<unsigned char>(y[i]);
        if (p != q && ((p | 0x20) != (q | 0x20) || (p | 0x20) < 'a' || (p | 0x20) > 'z'))
            return false;
    }
    return true;
}
// The order a file manager shows: letter case ignored, runs of digits compared as numbers.
// Ties fall back to the raw bytes, so different names never compare equal.
int NaturalCompare(std::string_view a, std::string_view b);
// Appends a key of the text whose bytes, compared as unsigned, give NaturalCompare's order up
// to its last step: texts with equal keys are then ordered by their own bytes. Made once per
// text, it spares a sort of many texts the folding and decoding at every comparison.
void AppendNaturalKey(std::string_view s, std::string& key);

} // namespace fw
