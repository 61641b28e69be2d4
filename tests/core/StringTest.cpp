#include "framework/runtime/StringFunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

using namespace fw;
using namespace std::string_view_literals;

namespace {

// A few characters of each UTF-8 length, kept as separate literals so that an escape can
// never run into a following hex digit.
constexpr const char* kEAcute = "\xc3\xa9";        // é, 2 bytes
constexpr const char* kCapEAcute = "\xc3\x89";     // É, 2 bytes
constexpr const char* kEuro = "\xe2\x82\xac";      // €, 3 bytes
constexpr const char* kGrin = "\xf0\x9f\x98\x80";  // U+1F600, 4 bytes

String Cat(std::initializer_list<std::string_view> parts)
{
    std::string r;
    for (auto p : parts)
        r.append(p);
    return String(r);
}

std::vector<std::string> Pieces(const String& s, const String& separator)
{
    std::vector<std::string> r;
    for (const auto& p : Split(s, separator))
        r.push_back(p.str());
    return r;
}

bool LivesInHandle(const String& s)
{
    auto p = reinterpret_cast<const char*>(&s);
    return s.data() >= p && s.data() < p + sizeof(String);
}

} // namespace

TEST(StringFunctions, CountCharactersNotBytes)
{
    EXPECT_EQ(Len("abc"), 3);
    EXPECT_EQ(Len(""), 0);
    EXPECT_EQ(Len("\xc3\xa9t\xc3\xa9"), 3); // été
    EXPECT_EQ(Len(Cat({"a", kEAcute, kEuro, kGrin, "z"})), 5);
    EXPECT_EQ(Mid("\xc3\xa9t\xc3\xa9", 2, 2), String("t\xc3\xa9"));
    String mixed = Cat({kGrin, "x", kEuro, "y"});
    EXPECT_EQ(Mid(mixed, 2, 2), Cat({"x", kEuro}));
    EXPECT_EQ(Mid(mixed, 3), Cat({kEuro, "y"}));
    EXPECT_EQ(Mid(mixed, 1, 1), String(kGrin));
    EXPECT_EQ(InStr(mixed, "y"), 4);
    EXPECT_EQ(InStr(Cat({kEAcute, kEAcute, "b", kEAcute, "b"}), "b"), 3);
    EXPECT_EQ(InStr(4, Cat({kEAcute, kEAcute, "b", kEAcute, "b"}), "b"), 5);
}

TEST(StringFunctions, InvalidBytesAreOneCharacterEach)
{
    struct Case {
        std::string_view bytes;
        int32_t length;
    };
    const Case cases[] = {
        {"a\xff" "b"sv, 3},
        {"\x80"sv, 1},                  // a lone continuation byte
        {"\xc3"sv, 1},                  // truncated at the end
        {"a\xe2\x82"sv, 3},             // truncated three-byte sequence
        {"\xe2\x82" "a"sv, 3},          // interrupted sequence
        {"\xc0\xaf"sv, 2},              // overlong '/'
        {"\xe0\x80\x80"sv, 3},          // overlong NUL
        {"\xed\xa0\x80"sv, 3},          // an encoded surrogate
        {"\xf4\x90\x80\x80"sv, 4},      // above U+10FFFF
        {"\xe2\x82\xe2\x82\xac"sv, 3},  // a broken sequence followed by €
        {"\x00\xfe\x00"sv, 3},
    };
    for (const auto& c : cases) {
        String s(c.bytes);
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        EXPECT_EQ(Len(s), c.length);
        // Taking the string apart character by character gives back every byte.
        std::string rebuilt;
        for (int32_t k = 1; k <= c.length; ++k)
            rebuilt += Mid(s, k, 1).str();
        EXPECT_EQ(rebuilt, std::string(c.bytes));
        EXPECT_EQ(Mid(s, c.length + 1), String());
        EXPECT_TRUE(Equals(s, s));
        EXPECT_EQ(NaturalCompare(c.bytes, c.bytes), 0);
        EXPECT_EQ(Trim(s), s);
        EXPECT_EQ(InStr(s, "\xff"), c.bytes.find('\xff') == std::string_view::npos ? 0 : 2);
    }
    EXPECT_EQ(Mid("\xe2\x82" "abc", 2, 2), String("\x82" "a"));
    // A search never matches part of a character, nor a lone byte with a real character.
    EXPECT_EQ(InStr(kEAcute, "\xc3"), 0);
    EXPECT_EQ(InStr(kEAcute, "\xa9"), 0);
    EXPECT_EQ(InStr(Cat({kEAcute, "\xa9"}), "\xa9"), 2);
    EXPECT_FALSE(Equals("\xe9", kEAcute));  // Latin-1 é is not é
    EXPECT_FALSE(Equals("\xc9", "\xe9"));   // lone bytes are not case-folded
    EXPECT_EQ(Replace(Cat({"x\xff", kEAcute}), "\xff", "-"), Cat({"x-", kEAcute}));
}

TEST(StringFunctions, SearchIgnoresCase)
{
    EXPECT_EQ(InStr("Hello World", "WORLD"), 7);
    EXPECT_EQ(InStr("abc", "ABC"), 1);
    EXPECT_EQ(InStr("abab", "AB"), 1);
    EXPECT_EQ(InStr(2, "abab", "AB"), 3);
    EXPECT_EQ(InStr(3, "abab", "AB"), 3);
    EXPECT_EQ(InStr(4, "abab", "AB"), 0);
    EXPECT_EQ(InStr(0, "abab", "b"), 2);
    EXPECT_EQ(InStr(-5, "abab", "b"), 2);
    EXPECT_EQ(InStr(INT_MAX, "abab", "b"), 0);
    EXPECT_EQ(InStr("abc", ""), 0);
    EXPECT_EQ(InStr("", "a"), 0);
    EXPECT_EQ(InStr("abc", "abcd"), 0);
    EXPECT_EQ(InStr("abc", kEAcute), 0);
    EXPECT_EQ(InStr(Cat({"CAF", kCapEAcute, " au lait"}), Cat({"caf", kEAcute})), 1);
    EXPECT_EQ(InStr(Cat({"x", kEAcute, "cole ", kCapEAcute, "COLE"}), Cat({kEAcute, "cole"})), 2);
    EXPECT_EQ(InStr(3, Cat({"x", kEAcute, "cole ", kCapEAcute, "COLE"}), Cat({kEAcute, "cole"})), 8);

    EXPECT_TRUE(Equals("Zorlin", "zORLIN"));
    EXPECT_TRUE(Equals(kCapEAcute, kEAcute));
    EXPECT_TRUE(Equals(Cat({"R", kCapEAcute, "SUM", kCapEAcute}), Cat({"r", kEAcute, "sum", kEAcute})));
    EXPECT_TRUE(Equals("", ""));
    EXPECT_FALSE(Equals("abc", "abcd"));
    EXPECT_FALSE(Equals("abc", "abd"));
    EXPECT_FALSE(Equals("a", kEAcute));
    EXPECT_FALSE(Equals("@", "`")); // the neighbours of A and Z are not letters
    EXPECT_FALSE(Equals("[", "{"));
}

TEST(StringFunctions, ReplaceChangesOnlyTheFirstMatch)
{
    EXPECT_EQ(Replace("a.b.c", ".", "-"), String("a-b.c"));
    EXPECT_EQ(Replace("Hello HELLO hello", "hello", "bye"), String("bye HELLO hello"));
    EXPECT_EQ(Replace("xAbx", "ab", ""), String("xx"));
    EXPECT_EQ(Replace("abc", "c", "cc"), String("abcc"));
    EXPECT_EQ(Replace(Cat({"CAF", kCapEAcute, " caf", kEAcute}), kEAcute, "e"), Cat({"CAFe caf", kEAcute}));
    EXPECT_EQ(Replace(Cat({kEAcute, kEAcute, "X"}), "x", kEuro), Cat({kEAcute, kEAcute, kEuro}));
    EXPECT_EQ(Replace("image.TIF", ".tif", ".png"), String("image.png"));

    String text("nothing to replace here");
    EXPECT_TRUE(Replace(text, "zz", "y").SharesBufferWith(text));
    EXPECT_TRUE(Replace(text, "", "y").SharesBufferWith(text));
    EXPECT_EQ(Replace("", "a", "b"), String());
}

TEST(StringFunctions, SplitKeepsEmptyPieces)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Pieces(".tif", "."), (V{"", "tif"}));
    EXPECT_EQ(Pieces("image.", "."), (V{"image", ""}));
    EXPECT_EQ(Pieces("", "."), (V{""}));
    EXPECT_EQ(Pieces(".", "."), (V{"", ""}));
    EXPECT_EQ(Pieces("a..b", "."), (V{"a", "", "b"}));
    EXPECT_EQ(Pieces("photo.2024.jpeg", "."), (V{"photo", "2024", "jpeg"}));
    EXPECT_EQ(Pieces("no dot", "."), (V{"no dot"}));
    EXPECT_EQ(Pieces("a, b", ""), (V{"a, b"}));
    EXPECT_EQ(Pieces("aXbxc", "x"), (V{"a", "b", "c"}));
    EXPECT_EQ(Pieces("a::b::", "::"), (V{"a", "b", ""}));
    EXPECT_EQ(Pieces(Cat({kEAcute, kEuro, "x", kEuro, kGrin}), kEuro),
              (V{kEAcute, "x", kGrin}));
    EXPECT_EQ(Pieces(Cat({kCapEAcute, "t", kEAcute}), kEAcute), (V{"", "t", ""}));
    EXPECT_EQ(Pieces("a\xff" "b\xff", "\xff"), (V{"a", "b", ""}));
}

TEST(StringFunctions, TrimRemovesBlanksAtBothEnds)
{
    EXPECT_EQ(Trim("  a b \t"), String("a b"));
    EXPECT_EQ(Trim("\t\r\n x \r\n"), String("x"));
    EXPECT_EQ(Trim("     "), String());
    EXPECT_EQ(Trim("\t"), String());
    EXPECT_EQ(Trim(""), String());
    EXPECT_EQ(Trim(Cat({"\xc2\xa0", kEAcute, "\xc2\xa0"})), String(kEAcute)); // no-break spaces
    EXPECT_EQ(Trim(Cat({" ", kEuro, " ", kEuro, " "})), Cat({kEuro, " ", kEuro}));
    EXPECT_EQ(Trim("\xa0x\xa0"), String("\xa0x\xa0")); // a lone byte A0 is not a blank
    EXPECT_EQ(Trim(" \xff "), String("\xff"));

    String clean("already trimmed text");
    EXPECT_TRUE(Trim(clean).SharesBufferWith(clean));
}

TEST(StringFunctions, MidOutOfRange)
{
    const String s("abcdef");
    EXPECT_EQ(Mid(s, 1, 3), String("abc"));
    EXPECT_EQ(Mid(s, 4, 100), String("def"));
    EXPECT_EQ(Mid(s, 6, 1), String("f"));
    EXPECT_EQ(Mid(s, 7, 1), String());
    EXPECT_EQ(Mid(s, 100, 1), String());
    EXPECT_EQ(Mid(s, INT_MAX, INT_MAX), String());
    EXPECT_EQ(Mid(s, 1, INT_MAX), s);
    EXPECT_EQ(Mid(s, 2, 0), String());
    EXPECT_EQ(Mid(s, 2, -1), String());
    EXPECT_EQ(Mid(s, 2, INT_MIN), String());
    EXPECT_EQ(Mid("", 1, 1), String());
    EXPECT_EQ(Mid(s, 3), String("cdef"));
    EXPECT_EQ(Mid(s, 0), s);
    EXPECT_EQ(Mid(s, INT_MIN), s);
    EXPECT_EQ(Mid(s, 7), String());
    EXPECT_EQ(Mid(s, INT_MAX), String());
    // A start before the first character never reaches past the requested window.
    for (int32_t start : {0, -1, -10, INT_MIN}) {
        for (int32_t length : {0, 1, 3, 100, INT_MAX}) {
            String m = Mid(s, start, length);
            EXPECT_TRUE(s.view().starts_with(m.view())) << start << ", " << length;
            EXPECT_LE(Len(m), std::max<int64_t>(0, int64_t(start) + length - 1)) << start << ", " << length;
        }
    }
}

TEST(StringFunctions, StrAndChr)
{
    EXPECT_EQ(Str(0), String("0"));
    EXPECT_EQ(Str(-1), String("-1"));
    EXPECT_EQ(Str(1000), String("1000"));
    EXPECT_EQ(Str(INT_MAX), String("2147483647"));
    EXPECT_EQ(Str(INT_MIN), String("-2147483648"));

    EXPECT_EQ(Chr(65), String("A"));
    EXPECT_EQ(Chr(9), String("\t"));
    EXPECT_EQ(Chr(0).view(), "\0"sv);
    EXPECT_EQ(Chr(0x7F), String("\x7f"));
    EXPECT_EQ(Chr(0x80), String("\xc2\x80"));
    EXPECT_EQ(Chr(0xE9), String(kEAcute));
    EXPECT_EQ(Chr(0x7FF), String("\xdf\xbf"));
    EXPECT_EQ(Chr(0x800), String("\xe0\xa0\x80"));
    EXPECT_EQ(Chr(0x20AC), String(kEuro));
    EXPECT_EQ(Chr(0xFFFF), String("\xef\xbf\xbf"));
    EXPECT_EQ(Chr(0x1F600), String(kGrin));
    EXPECT_EQ(Chr(0x10FFFF), String("\xf4\x8f\xbf\xbf"));
    for (int32_t bad : {0x110000, 0xD800, 0xDFFF, -1, INT_MIN, INT_MAX})
        EXPECT_EQ(Chr(bad), String()) << bad;
    // Every character Chr makes is one character long.
    for (int32_t code : {0, 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0x10000, 0x10FFFF})
        EXPECT_EQ(Len(Chr(code)), 1) << code;
}

TEST(StringFunctions, NaturalCompareOrdersLikeAFileManager)
{
    EXPECT_LT(NaturalCompare("a2", "a10"), 0);
    EXPECT_GT(NaturalCompare("a10", "a2"), 0);
    EXPECT_LT(NaturalCompare("apple", "Banana"), 0); // case ignored, unlike the raw bytes
    EXPECT_LT(NaturalCompare("a", "ab"), 0);
    EXPECT_LT(NaturalCompare("", "a"), 0);
    EXPECT_EQ(NaturalCompare("", ""), 0);
    EXPECT_EQ(NaturalCompare("same 12", "same 12"), 0);
    EXPECT_LT(NaturalCompare("x99999999999999999999", "x100000000000000000000"), 0); // beyond 64 bits
    EXPECT_LT(NaturalCompare(Cat({kEAcute, "a"}).view(), Cat({kCapEAcute, "b"}).view()), 0);

    // Names that differ only in case or leading zeros never tie, and the order is the same
    // whichever way round they are asked.
    const std::pair<std::string_view, std::string_view> ties[] = {
        {"A", "a"}, {"file007", "file7"}, {"0", "00"}, {"IMG_1.JPG", "img_1.jpg"}, {kCapEAcute, kEAcute},
    };
    for (auto [x, y] : ties) {
        int c = NaturalCompare(x, y);
        EXPECT_NE(c, 0) << x << " / " << y;
        EXPECT_EQ(NaturalCompare(y, x), -c) << x << " / " << y;
    }

    std::vector<std::string> names = {"file10", "file7a", "File7", "file", "file9", "file007", "file7",
                                      "File 2", "file0", "file7.txt"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalCompare(a, b) < 0; });
    const std::vector<std::string> expected = {"file",  "File 2", "file0",     "File7",  "file007",
                                               "file7", "file7.txt", "file7a", "file9",  "file10"};
    EXPECT_EQ(names, expected);
    // The order is consistent: every pair agrees with the sorted positions.
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t j = 0; j < names.size(); ++j)
            EXPECT_EQ(NaturalCompare(names[i], names[j]), i < j ? -1 : i > j ? 1 : 0) << names[i] << " / " << names[j];
}

TEST(String, InlineAndSharedStorage)
{
    String empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(String(static_cast<const char*>(nullptr)), empty);
    EXPECT_EQ(String(""), empty);
    EXPECT_FALSE(empty.SharesBufferWith(String()));

    String seven("1234567"), eight("12345678");
    EXPECT_TRUE(LivesInHandle(seven));
    EXPECT_FALSE(LivesInHandle(eight));
    EXPECT_EQ(seven.view(), "1234567");
    EXPECT_EQ(eight.view(), "12345678");

    // Copies of a long text share its buffer; an equal text built separately does not.
    String copy = eight;
    EXPECT_TRUE(copy.SharesBufferWith(eight));
    EXPECT_FALSE(String("12345678").SharesBufferWith(eight));
    String assigned;
    assigned = copy;
    EXPECT_TRUE(assigned.SharesBufferWith(eight));
    {
        String temporary = eight;
        temporary = String("something else, long");
    }
    copy = String();
    EXPECT_EQ(assigned.view(), "12345678");
    assigned = assigned;
    EXPECT_EQ(assigned.view(), "12345678");
    String moved = std::move(assigned);
    EXPECT_TRUE(moved.SharesBufferWith(eight));
    EXPECT_EQ(eight.view(), "12345678");

    // The bytes are kept exactly, NUL bytes included, short or long.
    const std::string_view withNul[] = {"\0"sv, "a\0b"sv, "\0\0\0\0\0\0\0"sv, "\0\0\0\0\0\0\0\0"sv,
                                        "name\0with\0nuls\0"sv};
    for (auto bytes : withNul) {
        String s(bytes);
        EXPECT_EQ(s.size(), bytes.size());
        EXPECT_EQ(s.view(), bytes);
        EXPECT_EQ(String(s).view(), bytes);
        EXPECT_FALSE(s == empty);
    }
    EXPECT_FALSE(String("a\0b"sv) == String("a"));
    EXPECT_EQ(Len(String("a\0b"sv)), 3);
}

TEST(String, Concatenation)
{
    String longText("a text longer than seven bytes");
    EXPECT_TRUE((String() + longText).SharesBufferWith(longText));
    EXPECT_TRUE((longText + String()).SharesBufferWith(longText));
    EXPECT_EQ(String("abc") + String("defg"), String("abcdefg"));
    EXPECT_TRUE(LivesInHandle(String("abc") + String("defg")));
    String joined = String("abcd") + String("efgh");
    EXPECT_EQ(joined.view(), "abcdefgh");
    EXPECT_FALSE(LivesInHandle(joined));
    EXPECT_EQ((longText + longText).size(), 2 * longText.size());
    EXPECT_EQ((String("a\0"sv) + String("\0b"sv)).view(), "a\0\0b"sv);
    EXPECT_EQ(String(kEAcute) + String(kEuro), Cat({kEAcute, kEuro}));
    EXPECT_EQ(Len(String("\xc3") + String("\xa9")), 1); // joined halves make one character
    EXPECT_EQ(longText.view(), "a text longer than seven bytes");
}
