#pragma once
// What the picture loader's tests share: a budget that leaves room, decoding a fixture, and
// comparing what came out with what a viewer shows at known points.
#include "RasterFixtures.h"
#include "framework/pictures/RasterCodecs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>

namespace loader_test {

inline fw::pictures::Budget Roomy(int maxSide = 4096)
{
    fw::pictures::Budget b;
    b.maxSide = maxSide;
    b.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    return b;
}

inline std::optional<fw::pictures::DecodedPicture> Decode(const QByteArray& bytes, const fw::pictures::Budget& b = Roomy())
{
    return fw::pictures::DecodeAny({reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())}, b);
}

// The picture's own size is the fixture's, and at the centre of each quadrant and near each
// corner the kept copy shows the fixture's colour (and alpha).
inline void ExpectShows(const std::optional<fw::pictures::DecodedPicture>& p, const fixtures::Fixture& f)
{
    ASSERT_TRUE(p.has_value()) << f.name << ": no picture";
    EXPECT_EQ(p->width, f.shown.width()) << f.name;
    EXPECT_EQ(p->height, f.shown.height()) << f.name;
    const QImage got = p->image.convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(got.isNull());
    for (double fy : {0.12, 0.25, 0.75, 0.88})
        for (double fx : {0.12, 0.25, 0.75, 0.88}) {
            const QRgb want = f.shown.pixel(int(fx * f.shown.width()), int(fy * f.shown.height()));
            const QRgb have = got.pixel(int(fx * got.width()), int(fy * got.height()));
            const int t = f.tolerance + 2;
            EXPECT_NEAR(qAlpha(have), qAlpha(want), t) << f.name << " at " << fx << "," << fy;
            if (qAlpha(want) == 0)
                continue;
            EXPECT_NEAR(qRed(have), qRed(want), t) << f.name << " red at " << fx << "," << fy;
            EXPECT_NEAR(qGreen(have), qGreen(want), t) << f.name << " green at " << fx << "," << fy;
            EXPECT_NEAR(qBlue(have), qBlue(want), t) << f.name << " blue at " << fx << "," << fy;
        }
}

} // namespace loader_test
