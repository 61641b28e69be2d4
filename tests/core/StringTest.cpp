#include "framework/runtime/StringFunctions.h"

#include <gtest/gtest.h>

using namespace fw;

TEST(StringFunctions, CountCharactersNotBytes)
{
    EXPECT_EQ(Len("abc"), 3);
    EXPECT_EQ(Len("\xc3\xa9t\xc3\xa9"), 3); // été
    EXPECT_EQ(Len("a\xff" "b"), 3);          // an invalid byte is one character
    EXPECT_EQ(Mid("\xc3\xa9t\xc3\xa9", 2, 2), String("t\xc3\xa9"));
}
