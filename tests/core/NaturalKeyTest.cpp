// Keys made once per text give exactly the order of comparing the texts themselves: a list
// sorted by keys shows what a list sorted by NaturalCompare would.
#include "framework/runtime/StringFunctions.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string Key(std::string_view s)
{
    std::string key;
    fw::AppendNaturalKey(s, key);
    return key;
}

// The order of two texts by their keys, equal keys settled by the texts' own bytes.
int ByKeys(const std::string& a, const std::string& b)
{
    std::string ka = Key(a), kb = Key(b);
    int c = ka.compare(kb); // std::string compares its chars as unsigned
    if (c == 0)
        c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Texts made of the parts where the two comparisons could part: digits with and without
// leading zeros, letters of both cases, characters just below and above the digits, accented
// letters in both cases, bytes that are not UTF-8, and numbers of 255 digits and more.
std::string RandomText(std::mt19937& random)
{
    static const std::vector<std::string> parts = {
        "0", "00", "1", "9", "10", "007", "255", "a", "A", "z", "Z", "/", ":", " ", ".", "_",
        "\xc3\xa9", "\xc3\x89", "\xc3\x9f", "\xe2\x82\xac", "\xf0\x9f\x99\x82", "\xff", "\xc3", "\x80",
        std::string(300, '7'), "1" + std::string(299, '0'), std::string(257, '3'), std::string(255, '5'),
    };
    std::string s;
    for (size_t n = random() % 6; n > 0; --n)
        s += parts[random() % parts.size()];
    return s;
}

} // namespace

TEST(NaturalKey, OrdersEveryPairAsNaturalCompareDoes)
{
    std::mt19937 random(42);
    for (int i = 0; i < 200000; ++i) {
        std::string a = RandomText(random), b = RandomText(random);
        ASSERT_EQ(ByKeys(a, b), fw::NaturalCompare(a, b)) << '"' << a << "\" \"" << b << '"';
    }
}

TEST(NaturalKey, NamesAsAFileManagerShowsThem)
{
    const std::vector<std::string> names = {"", "2.png", "10.png", "A.png", "a01.png", "a1.png", "a2.png",
                                            "IMG9.jpg", "img10.jpg", "Zoo", "\xc3\xa9t\xc3\xa9"};
    for (size_t i = 0; i + 1 < names.size(); ++i)
        EXPECT_LT(ByKeys(names[i], names[i + 1]), 0) << names[i] << " before " << names[i + 1];
}
