// The picture loader by format: each real-world variant decodes to what a viewer shows, at its
// own size as shown, and a kept copy no larger than the budget allows.
#include "LoaderSupport.h"

#include <QImageReader>
#include <QBuffer>

#include <tiffio.h>

using namespace fixtures;
using namespace loader_test;

namespace {

const QImage kPattern = Pattern(64, 48);

TEST(JpegLoader, BaselineProgressiveGreyCmykAndRestartMarkers)
{
    ExpectShows(Decode(Jpeg(kPattern, {}).bytes), Jpeg(kPattern, {}));
    for (const JpegOptions& o : {JpegOptions{.progressive = true}, JpegOptions{.grey = true},
                                 JpegOptions{.cmyk = true}, JpegOptions{.restartRows = 1},
                                 JpegOptions{.progressive = true, .grey = true}}) {
        const Fixture f = Jpeg(kPattern, o);
        ExpectShows(Decode(f.bytes), f);
    }
}

// A picture stored on its side with an orientation tag is shown upright, at the size shown: a
// 400 by 200 picture tagged 6 is 200 by 400 after the turn.
TEST(JpegLoader, EveryExifOrientationIsTurnedUpright)
{
    const QImage shown = Pattern(400, 208);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const Fixture f = Jpeg(shown, {.orientation = orientation});
        ExpectShows(Decode(f.bytes), f);
        // Qt's own reader turns it the same way.
        QByteArray bytes = f.bytes;
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        EXPECT_EQ(reader.read().size(), QSize(400, 208)) << orientation;
    }
    // Stored 400 by 200 and tagged 6: shown, and so fitted, as 200 by 400.
    auto tagged = Decode(Jpeg(Pattern(200, 400), {.orientation = 6}).bytes);
    ASSERT_TRUE(tagged);
    EXPECT_EQ(tagged->width, 200);
    EXPECT_EQ(tagged->height, 400);
    EXPECT_EQ(tagged->image.size(), QSize(200, 400));
}

// A large picture keeps a copy no longer than the budget's side, decoded at a reduced scale.
TEST(JpegLoader, LargePictureKeepsAReducedCopyAtItsOwnSize)
{
    const QImage big = Pattern(1600, 1200);
    for (int orientation : {1, 6}) {
        const Fixture f = Jpeg(big, {.orientation = orientation});
        auto p = Decode(f.bytes, Roomy(200));
        ExpectShows(p, Jpeg(big, {}));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->image.size(), QSize(200, 150));
    }
}

TEST(PngLoader, EveryDepthAndColourType)
{
    struct Case {
        PngColour colour;
        std::initializer_list<int> depths;
    };
    for (const Case& c : {Case{PngColour::Grey, {1, 2, 4, 8, 16}}, Case{PngColour::GreyAlpha, {8, 16}},
                          Case{PngColour::Palette, {1, 2, 4, 8}}, Case{PngColour::Rgb, {8, 16}},
                          Case{PngColour::Rgba, {8, 16}}})
        for (int depth : c.depths)
            for (bool interlaced : {false, true}) {
                Fixture f = Png(kPattern, {.colour = c.colour, .depth = depth, .interlaced = interlaced});
                f.name += " colour " + std::to_string(int(c.colour)) + " depth " + std::to_string(depth) +
                          (interlaced ? " interlaced" : "");
                ExpectShows(Decode(f.bytes), f);
            }
}

TEST(PngLoader, TransparentColourChunk)
{
    for (PngColour colour : {PngColour::Grey, PngColour::Palette, PngColour::Rgb})
        for (int depth : {8, 16}) {
            if (colour == PngColour::Palette && depth == 16)
                continue;
            Fixture f = Png(kPattern, {.colour = colour, .depth = depth, .transparentColour = true});
            f.name += " tRNS colour " + std::to_string(int(colour)) + " depth " + std::to_string(depth);
            ExpectShows(Decode(f.bytes), f);
        }
}

// Large pictures are reduced as the rows arrive; an interlaced one only reads the passes it needs.
TEST(PngLoader, LargePicturesAreReduced)
{
    const QImage big = Pattern(960, 720);
    for (bool interlaced : {false, true})
        for (int side : {100, 200, 300, 700}) {
            Fixture f = Png(big, {.colour = PngColour::Rgba, .interlaced = interlaced});
            auto p = Decode(f.bytes, Roomy(side));
            ExpectShows(p, f);
            ASSERT_TRUE(p);
            EXPECT_EQ(p->image.width(), side);
        }
}

TEST(TiffLoader, CompressionsStripsAndTiles)
{
    for (int compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS,
                            COMPRESSION_JPEG})
        for (bool tiled : {false, true}) {
            Fixture f = Tiff(kPattern, {.compression = compression, .tiled = tiled});
            f.name += " compression " + std::to_string(compression) + (tiled ? " tiled" : "");
            ExpectShows(Decode(f.bytes), f);
        }
}

TEST(TiffLoader, DepthsAndColours)
{
    const TiffOptions cases[] = {
        {.colour = TiffColour::Grey, .bits = 1},    {.colour = TiffColour::Grey, .bits = 8},
        {.colour = TiffColour::Grey, .bits = 16},   {.colour = TiffColour::Rgb, .bits = 16},
        {.colour = TiffColour::Palette, .bits = 8}, {.colour = TiffColour::Palette, .bits = 4},
        {.colour = TiffColour::Rgba, .bits = 8},    {.colour = TiffColour::Rgba, .bits = 16},
        {.colour = TiffColour::Rgb, .separatePlanes = true},
        {.colour = TiffColour::Rgba, .separatePlanes = true},
        {.colour = TiffColour::Rgb, .tiled = true, .separatePlanes = true},
        {.colour = TiffColour::Grey, .bits = 16, .tiled = true},
        {.colour = TiffColour::WhiteIsZero, .bits = 8}, {.colour = TiffColour::WhiteIsZero, .bits = 1},
        {.secondPage = true},                        {.bigTiff = true},
        {.compression = COMPRESSION_LZW, .tiled = true, .bigTiff = true},
    };
    int n = 0;
    for (const TiffOptions& o : cases) {
        Fixture f = Tiff(kPattern, o);
        f.name += " case " + std::to_string(n++);
        ExpectShows(Decode(f.bytes), f);
    }
}

TEST(TiffLoader, OrientationTagsTurnUprightAndSwapTheSize)
{
    const QImage shown = Pattern(80, 48);
    for (bool tiled : {false, true})
        for (int orientation = 1; orientation <= 8; ++orientation) {
            Fixture f = Tiff(shown, {.compression = COMPRESSION_LZW, .tiled = tiled, .orientation = orientation});
            f.name += " orientation " + std::to_string(orientation) + (tiled ? " tiled" : "");
            ExpectShows(Decode(f.bytes), f);
            auto reduced = Decode(f.bytes, Roomy(40));
            ASSERT_TRUE(reduced);
            EXPECT_EQ(reduced->image.size(), QSize(40, 24)) << f.name;
        }
}

TEST(TiffLoader, LargePicturesAreReducedStripByStripAndTileByTile)
{
    const QImage big = Pattern(1000, 800);
    for (bool tiled : {false, true})
        for (TiffColour colour : {TiffColour::Rgb, TiffColour::Palette}) {
            Fixture f = Tiff(big, {.colour = colour, .compression = COMPRESSION_LZW, .tiled = tiled});
            auto p = Decode(f.bytes, Roomy(125));
            ExpectShows(p, f);
            ASSERT_TRUE(p);
            EXPECT_EQ(p->image.size(), QSize(125, 100));
        }
}

// A picture of several megapixels is shared out among threads, each filling its own kept rows:
// every kept row is filled, the rows where the shares meet included.
TEST(TiffLoader, LargePlainPicturesAreReadInSharesWithNoRowLeftOut)
{
    const QImage big = Pattern(2600, 1800);
    for (int compression : {COMPRESSION_LZW, COMPRESSION_NONE}) {
        Fixture f = Tiff(big, {.compression = compression});
        auto p = Decode(f.bytes, Roomy(390));
        ExpectShows(p, f);
        ASSERT_TRUE(p);
        ASSERT_EQ(p->image.size(), QSize(390, 270));
        for (int y = 0; y < 270; ++y) {
            if (y == 134 || y == 135)
                continue; // where the quadrants meet
            const QRgb want = f.shown.pixel(650, y * 1800 / 270), have = p->image.pixel(97, y);
            ASSERT_NEAR(qRed(have), qRed(want), 2) << "kept row " << y;
            ASSERT_NEAR(qBlue(have), qBlue(want), 2) << "kept row " << y;
        }
    }
}

TEST(GifLoader, PlainInterlacedAndTheFirstFrameOfAnAnimation)
{
    for (const GifOptions& o : {GifOptions{}, GifOptions{.interlaced = true}, GifOptions{.animated = true}}) {
        const Fixture f = Gif(kPattern, o);
        ExpectShows(Decode(f.bytes), f);
        auto reduced = Decode(f.bytes, Roomy(32));
        ASSERT_TRUE(reduced);
        EXPECT_EQ(reduced->image.size(), QSize(32, 24));
    }
}

TEST(BmpLoader, DepthsRunLengthsAndTopDown)
{
    for (const BmpOptions& o : {BmpOptions{.bits = 1}, BmpOptions{.bits = 4}, BmpOptions{.bits = 8},
                                BmpOptions{.bits = 24}, BmpOptions{.bits = 32}, BmpOptions{.bits = 4, .rle = true},
                                BmpOptions{.bits = 8, .rle = true}, BmpOptions{.bits = 24, .topDown = true},
                                BmpOptions{.bits = 8, .topDown = true}}) {
        Fixture f = Bmp(kPattern, o);
        f.name += " bits " + std::to_string(o.bits) + (o.rle ? " rle" : "") + (o.topDown ? " top-down" : "");
        ExpectShows(Decode(f.bytes), f);
    }
}

TEST(QtLoader, OtherFormatsQtReads)
{
    for (const char* format : {"ppm", "xpm"}) {
        const Fixture f = QtWritten(kPattern, format);
        ExpectShows(Decode(f.bytes), f);
    }
}

} // namespace
