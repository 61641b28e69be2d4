#include "framework/files/NameOrder.h"
#include "framework/runtime/StringFunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

using fw::NaturalCompare;
using fw::NaturalOrder;

namespace {

// The names sorted one comparison at a time, the order NaturalOrder must reproduce.
std::vector<std::string> ByNaturalCompare(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalCompare(a, b) < 0; });
    return names;
}

std::vector<std::string> ByNaturalOrder(const std::vector<std::string>& names)
{
    std::vector<std::string_view> views(names.begin(), names.end());
    std::vector<std::string> sorted;
    for (uint32_t i : NaturalOrder(views))
        sorted.push_back(names[i]);
    return sorted;
}

std::vector<std::string> RandomNames(std::mt19937& random, size_t count, const std::vector<std::string>& parts)
{
    std::set<std::string> names;
    std::uniform_int_distribution<size_t> pick(0, parts.size() - 1), length(0, 7);
    while (names.size() < count) {
        std::string name;
        for (size_t n = length(random); n > 0; --n)
            name += parts[pick(random)];
        names.insert(name);
    }
    std::vector<std::string> shuffled(names.begin(), names.end());
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    return shuffled;
}

} // namespace

TEST(NameOrder, EmptyAndSingle)
{
    EXPECT_TRUE(NaturalOrder({}).empty());
    std::vector<std::string_view> one = {"only"};
    EXPECT_EQ(NaturalOrder(one), std::vector<uint32_t>{0});
}

TEST(NameOrder, NumbersLetterCaseAndZeros)
{
    std::vector<std::string> names = {"a10", "a2", "A1", "a01", "a1", "a", "a0", "a00", "a0b", "ab", "ab1", "",
                                      "B", "b", "a 2", "a-2", "a_2", "a~", "a9z", "a10z", "IMG_0001.JPG",
                                      "img_0001.jpg", "img_1.jpg", "99999999999999999999999", "100000000000000000000000"};
    EXPECT_EQ(ByNaturalOrder(names), ByNaturalCompare(names));
}

TEST(NameOrder, NamesPastAsciiMixedWithAscii)
{
    std::vector<std::string> names = {"\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89", "ete", "Ete", "caf\xe9", "cafe",
                                      "\xff", "z", "\xc3\xa9" "2", "\xc3\xa9" "10", "e10", "E9"};
    EXPECT_EQ(ByNaturalOrder(names), ByNaturalCompare(names));
}

TEST(NameOrder, RandomNamesFollowNaturalCompare)
{
    std::mt19937 random(20240611);
    const std::vector<std::string> ascii = {"a", "A", "b", "Z", "z", "0", "00", "1", "9", "10", "007",
                                            " ", ".", "_", "-", "~", "img_", "IMG_", ".jpg", "123456789012"};
    std::vector<std::string> wide = ascii;
    wide.insert(wide.end(), {"\xc3\xa9", "\xc3\x89", "\xff", "\xe2\x82\xac", "\xc3"});
    for (int round = 0; round < 20; ++round) {
        std::vector<std::string> names = RandomNames(random, 400, round % 2 ? wide : ascii);
        ASSERT_EQ(ByNaturalOrder(names), ByNaturalCompare(names)) << "round " << round;
    }
}

TEST(NameOrder, CameraFolderSharingLongPrefixes)
{
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i)
        names.push_back("DSC_" + std::to_string(i * 7919 % 3001) + (i % 3 ? ".JPG" : ".jpg"));
    for (int i = 0; i < 50; ++i)
        names.push_back("DSC_" + std::string(size_t(i % 5), '0') + std::to_string(i) + "_edited.jpg");
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::shuffle(names.begin(), names.end(), std::mt19937(7));
    EXPECT_EQ(ByNaturalOrder(names), ByNaturalCompare(names));
}
