// The string functions accept every byte string: no crash, and results that agree with each
// other (positions inside the text, pieces that join back to it).
#include "framework/runtime/StringFunctions.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t cut = data[0] % size;
    std::string a(reinterpret_cast<const char*>(data + 1), cut > 0 ? cut - 1 : 0);
    std::string b(reinterpret_cast<const char*>(data + cut), size - cut);
    fw::String s(a), f(b);
    int32_t len = fw::Len(s);
    int32_t at = fw::InStr(1, s, f);
    if (at < 0 || at > len)
        __builtin_trap();
    std::vector<fw::String> pieces = fw::Split(s, ".");
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i)
        joined += (i ? "." : "") + pieces[i].str();
    if (joined != a)
        __builtin_trap();
    fw::String m = fw::Mid(s, data[0] % 16, data[size - 1] % 16);
    if (fw::Len(m) > len)
        __builtin_trap();
    fw::Replace(s, f, "x");
    fw::Trim(s);
    if (fw::NaturalCompare(a, b) != -fw::NaturalCompare(b, a))
        __builtin_trap();
    fw::Equals(s, f);
    return 0;
}
