#pragma once
// What the PICT tests share: decoding a file's bytes and reading colours back.
#include "framework/pictures/PictureCodecs.h"
#include "pictures/PictFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <optional>

namespace pict_test {

using fw::pictures::Budget;
using fw::pictures::DecodedPicture;

inline fw::pictures::Bytes BytesOf(const QByteArray& b)
{
    return {reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())};
}

inline std::optional<DecodedPicture> Decode(const QByteArray& b, Budget budget = {})
{
    return fw::pictures::DecodePict(BytesOf(b), budget);
}

inline QRgb At(const DecodedPicture& p, int x, int y)
{
    return p.image.pixel(x, y) | 0xFF000000u;
}

// Colours equal within `tolerance` on each component, for lossy payloads.
inline ::testing::AssertionResult Near(QRgb got, QRgb want, int tolerance = 0)
{
    if (std::abs(qRed(got) - qRed(want)) <= tolerance && std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
        std::abs(qBlue(got) - qBlue(want)) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got rgb(" << qRed(got) << "," << qGreen(got) << "," << qBlue(got)
                                         << ") want rgb(" << qRed(want) << "," << qGreen(want) << ","
                                         << qBlue(want) << ")";
}

constexpr QRgb kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kYellow = 0xFFFFFF00u,
               kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u;

// Colours at points of a decoded picture.
struct Probe {
    int x, y;
    QRgb colour;
};
inline void ExpectColours(const DecodedPicture& p, std::initializer_list<Probe> probes)
{
    for (const Probe& probe : probes)
        EXPECT_EQ(At(p, probe.x, probe.y), probe.colour) << "at " << probe.x << "," << probe.y;
}

// The four quadrants of a Quadrants() picture of w x h, read at their centres.
inline void ExpectQuadrants(const DecodedPicture& p, int w, int h, int tolerance = 0)
{
    ASSERT_EQ(p.image.width(), w);
    ASSERT_EQ(p.image.height(), h);
    EXPECT_TRUE(Near(At(p, w / 4, h / 4), kRed, tolerance));
    EXPECT_TRUE(Near(At(p, 3 * w / 4, h / 4), kGreen, tolerance));
    EXPECT_TRUE(Near(At(p, w / 4, 3 * h / 4), kBlue, tolerance));
    EXPECT_TRUE(Near(At(p, 3 * w / 4, 3 * h / 4), kYellow, tolerance));
}

} // namespace pict_test
