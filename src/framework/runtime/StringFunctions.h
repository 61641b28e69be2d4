#pragma once
// The platform's string functions. Characters are Unicode code points, positions count from 1.
// A byte that is not part of valid UTF-8 counts as one character of its own, so every function
// accepts every byte string. Comparisons, searches and replacement ignore letter case, as the
// platform's string operations do.
#include "String.h"

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
String Str(int32_t n);
String Chr(int32_t code);
// The platform's string equality: letter case is ignored.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
inline bool Equals(const String& a, const String& b)
{
    std::string_view x = a.view(), y = b.view();
    if (x.size() != y.size()) {
        // Folding letter case keeps the length of ASCII text, so ASCII texts of different
        // lengths differ: the usual case of an extension against the image extensions.
        auto ascii = [](std::string_view v) {
            for (char c : v)
                if (static_cast<unsigned char>(c) >= 0x80)
                    return false;
            return true;
        };
        if (ascii(x) && ascii(y))
            return false;
    }
    return EqualsIgnoringCase(x, y);
}
// The order a file manager shows: letter case ignored, runs of digits compared as numbers.
// Ties fall back to the raw bytes, so different names never compare equal.
int NaturalCompare(std::string_view a, std::string_view b);

} // namespace fw
