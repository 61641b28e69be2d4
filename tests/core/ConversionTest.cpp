// The one double-to-integer conversion: the preview's fit and the cell tags both go through it.
#include "framework/runtime/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using fw::DoubleToInt32;

TEST(DoubleToInt32, RoundsToTheNearestWithHalvesAwayFromZero)
{
    EXPECT_EQ(DoubleToInt32(51.49), 51);
    EXPECT_EQ(DoubleToInt32(51.5), 52);
    EXPECT_EQ(DoubleToInt32(52.5), 53); // not to even
    EXPECT_EQ(DoubleToInt32(-2.5), -3);
    EXPECT_EQ(DoubleToInt32(-0.4), 0);
}

TEST(DoubleToInt32, ClampsToTheRangeAndTakesNaNAsZero)
{
    EXPECT_EQ(DoubleToInt32(1e300), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(DoubleToInt32(-1e300), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(DoubleToInt32(std::nan("")), 0);
    EXPECT_EQ(fw::Variant(2.5).ToInt32(), 3);
}
