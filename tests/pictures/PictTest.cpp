// The PICT reader on pictures written opcode by opcode: each version and header, each depth
// and packing of the pixel opcodes, regions, and several operations composed into one frame.
#include "pictures/PictTestSupport.h"

using namespace pict_fixtures;
using namespace pict_test;

namespace {

const Rect16 kFrame{0, 0, 40, 64};

QByteArray OneOp(PictWriter::Version version, const BitsOp& op, const QImage& image, bool fileHeader = false)
{
    PictWriter w(version, kFrame, fileHeader);
    WriteBitsOp(w, op, image);
    return w.Finish();
}

BitsOp Op(uint16_t opcode, int depth, int packType = 0, int cmpCount = 3)
{
    BitsOp op;
    op.opcode = opcode;
    op.depth = depth;
    op.packType = packType;
    op.cmpCount = cmpCount;
    op.bounds = op.dst = Rect16{0, 0, int16_t(kFrame.bottom), int16_t(kFrame.right)};
    return op;
}

// Quadrants of black and white, as a one-bit picture shows them.
QImage BlackWhite(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, (x < w / 2) == (y < h / 2) ? kBlack : kWhite);
    return image;
}

} // namespace

TEST(PictHeaders, EachVersionWithAndWithoutTheFileHeader)
{
    const QImage image = Quadrants(64, 40);
    for (bool fileHeader : {false, true}) {
        for (auto version : {PictWriter::Version::Two, PictWriter::Version::ExtendedTwo}) {
            QByteArray file = OneOp(version, Op(0x9A, 32), image, fileHeader);
            SCOPED_TRACE(fileHeader ? "with file header" : "bare");
            EXPECT_TRUE(fw::pictures::IsPict(BytesOf(file)));
            auto p = Decode(file);
            ASSERT_TRUE(p);
            EXPECT_EQ(p->width, 64);
            EXPECT_EQ(p->height, 40);
            ExpectQuadrants(*p, 64, 40);
        }
        BitsOp bitmap = Op(0x98, 1);
        bitmap.pixMap = false;
        auto p = Decode(OneOp(PictWriter::Version::One, bitmap, BlackWhite(64, 40), fileHeader));
        ASSERT_TRUE(p);
        EXPECT_EQ(At(*p, 10, 10), kBlack);
        EXPECT_EQ(At(*p, 50, 10), kWhite);
        EXPECT_EQ(At(*p, 50, 30), kBlack);
    }
}

TEST(PictHeaders, ExtendedVersionTwoDrawsInItsSourceRectangle)
{
    // 144 dpi: the opcodes work in a space twice the frame's size.
    const Rect16 source{0, 0, 80, 128};
    PictWriter w(PictWriter::Version::ExtendedTwo, kFrame, false, source);
    BitsOp op = Op(0x9A, 32);
    op.bounds = source;
    op.dst = Rect16{0, 0, 80, 64}; // the left half of the source space
    WriteBitsOp(w, op, Quadrants(128, 80));
    auto p = Decode(w.Finish());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 64);
    EXPECT_EQ(At(*p, 8, 5), kRed);
    EXPECT_EQ(At(*p, 24, 5), kGreen);
    EXPECT_EQ(At(*p, 24, 30), kYellow);
    EXPECT_EQ(At(*p, 40, 20), kWhite);
}

TEST(PictHeaders, NotPictures)
{
    EXPECT_FALSE(fw::pictures::IsPict(BytesOf(QByteArray())));
    EXPECT_FALSE(fw::pictures::IsPict(BytesOf(EncodeWithQt(Quadrants(8, 8), "png"))));
    EXPECT_FALSE(fw::pictures::IsPict(BytesOf(QByteArray(2048, '\0'))));
    EXPECT_FALSE(Decode(QByteArray()));
    EXPECT_FALSE(Decode(QByteArray(600, '\x11')));
    // A header and nothing drawn: no picture.
    EXPECT_FALSE(Decode(PictWriter(PictWriter::Version::Two, kFrame).Finish()));
    // Frames upside down, or of no width, with a bitmap in them all the same.
    for (Rect16 frame : {Rect16{40, 0, 0, 64}, Rect16{0, 64, 40, 0}, Rect16{0, 5, 40, 5}}) {
        PictWriter w(PictWriter::Version::Two, frame);
        WriteBitsOp(w, Op(0x9A, 32), Quadrants(64, 40));
        EXPECT_FALSE(fw::pictures::IsPict(BytesOf(w.Finish())));
        EXPECT_FALSE(Decode(w.Finish()));
    }
}

TEST(PictIndexed, EachDepthPackedAndUnpacked)
{
    QImage image(64, 40, QImage::Format_RGB32);
    const QRgb colours[4] = {kRed, kGreen, kBlue, kYellow};
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, colours[(x / 16 + y / 20) % 4]);
    for (int depth : {2, 4, 8}) {
        for (uint16_t opcode : {0x90, 0x98}) {
            SCOPED_TRACE(testing::Message() << "depth " << depth << " opcode " << opcode);
            auto p = Decode(OneOp(PictWriter::Version::Two, Op(opcode, depth), image));
            ASSERT_TRUE(p);
            for (int x : {3, 20, 40, 60})
                for (int y : {5, 30})
                    EXPECT_EQ(At(*p, x, y), colours[(x / 16 + y / 20) % 4]);
        }
    }
    BitsOp device = Op(0x98, 8);
    device.byPosition = true;
    auto byPlace = Decode(OneOp(PictWriter::Version::Two, device, image));
    ASSERT_TRUE(byPlace);
    EXPECT_EQ(At(*byPlace, 20, 5), kGreen);
    EXPECT_EQ(At(*byPlace, 40, 30), kYellow);
    BitsOp oneBit = Op(0x98, 1); // a one-bit pixel map with its own two colours
    auto p = Decode(OneOp(PictWriter::Version::Two, oneBit, Quadrants(64, 40).copy(0, 0, 64, 20).scaled(64, 40)));
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 5, 5), kRed);
    EXPECT_EQ(At(*p, 60, 35), kGreen);
}

TEST(PictIndexed, NarrowRowsAreUnpackedAndWideRowsHaveWordCounts)
{
    for (int width : {20, 600}) { // rowBytes 4 (< 8) and 600 (> 250) at 8 bits
        PictWriter w(PictWriter::Version::Two, Rect16{0, 0, 10, int16_t(width)});
        BitsOp op = Op(0x98, 8);
        op.bounds = op.dst = Rect16{0, 0, 10, int16_t(width)};
        QImage image = Quadrants(width, 10);
        if (width == 20)
            image = image.scaled(4, 10); // rowBytes 4
        op.bounds.right = int16_t(image.width());
        WriteBitsOp(w, op, image);
        auto p = Decode(w.Finish());
        ASSERT_TRUE(p) << width;
        EXPECT_EQ(At(*p, 1, 1), kRed);
        EXPECT_EQ(At(*p, width - 2, 8), kYellow);
    }
}

TEST(PictDirect, SixteenBitsEachPackType)
{
    for (int packType : {0, 1, 3}) {
        for (int width : {64, 3, 200}) { // 3 pixels: rowBytes 6, stored unpacked
            SCOPED_TRACE(testing::Message() << "pack type " << packType << " width " << width);
            PictWriter w(PictWriter::Version::Two, Rect16{0, 0, 40, int16_t(width)});
            BitsOp op = Op(0x9A, 16, packType);
            op.bounds = op.dst = Rect16{0, 0, 40, int16_t(width)};
            WriteBitsOp(w, op, Quadrants(width, 40));
            auto p = Decode(w.Finish());
            ASSERT_TRUE(p);
            EXPECT_EQ(At(*p, 0, 2), kRed);
            EXPECT_EQ(At(*p, width - 1, 38), kYellow);
        }
    }
}

TEST(PictDirect, ThirtyTwoBitsEachPackTypeAndComponentCount)
{
    for (auto [packType, cmpCount] : {std::pair(0, 3), std::pair(1, 3), std::pair(2, 3), std::pair(4, 3),
                                      std::pair(4, 4), std::pair(0, 4)}) {
        for (int width : {64, 1, 100}) { // one pixel: rowBytes 4, unpacked; 100: word counts
            SCOPED_TRACE(testing::Message() << "pack type " << packType << " components " << cmpCount << " width "
                                            << width);
            QImage image = Quadrants(width, 40);
            auto p = Decode(DirectPict(image, packType, cmpCount));
            ASSERT_TRUE(p);
            for (auto [x, y] : {std::pair(0, 2), std::pair(width - 1, 38), std::pair(width - 1, 2),
                                std::pair(0, 39)})
                EXPECT_EQ(At(*p, x, y), image.pixel(x, y));
        }
    }
}

TEST(PictRegions, TheRgnOpcodesDrawOnlyInsideTheirRegion)
{
    auto inside = [](int x, int y) { return (x - 32) * (x - 32) + (y - 20) * (y - 20) < 15 * 15; };
    const QByteArray circle = ShapeRegion(kFrame, inside);
    for (auto [opcode, depth] : {std::pair(0x91, 8), std::pair(0x99, 8), std::pair(0x9B, 32), std::pair(0x9B, 16)}) {
        SCOPED_TRACE(testing::Message() << "opcode " << opcode);
        BitsOp op = Op(uint16_t(opcode), depth);
        op.region = circle;
        QImage red(64, 40, QImage::Format_RGB32);
        red.fill(kRed);
        red.setPixel(0, 0, kBlue); // two colours, so the colour table has more than one entry
        auto p = Decode(OneOp(PictWriter::Version::Two, op, red));
        ASSERT_TRUE(p);
        EXPECT_EQ(At(*p, 32, 20), kRed);
        EXPECT_EQ(At(*p, 32, 7), kRed);
        EXPECT_EQ(At(*p, 32, 4), kWhite);
        EXPECT_EQ(At(*p, 45, 20), kRed);
        EXPECT_EQ(At(*p, 48, 20), kWhite);
        EXPECT_EQ(At(*p, 44, 31), kWhite); // inside the box, outside the circle
        EXPECT_EQ(At(*p, 2, 2), kWhite);
    }
    BitsOp rect = Op(0x9B, 32);
    rect.region = RectRegion(Rect16{10, 20, 30, 40});
    auto p = Decode(OneOp(PictWriter::Version::Two, rect, Quadrants(64, 40)));
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 25, 15), kRed);
    EXPECT_EQ(At(*p, 35, 15), kGreen);
    EXPECT_EQ(At(*p, 19, 15), kWhite);
    EXPECT_EQ(At(*p, 25, 30), kWhite);
}

TEST(PictCompose, SeveralOperationsInAFrameAwayFromTheOrigin)
{
    const Rect16 frame{100, 200, 140, 264}; // 64 x 40, not at 0,0
    PictWriter w(PictWriter::Version::Two, frame);
    // The left half: a 16 x 20 picture scaled up twice.
    BitsOp left = Op(0x9A, 32);
    left.bounds = Rect16{0, 0, 20, 16};
    left.dst = Rect16{100, 200, 140, 232};
    QImage small(16, 20, QImage::Format_RGB32);
    small.fill(kBlue);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x)
            small.setPixel(x, y, kRed);
    WriteBitsOp(w, left, small);
    // The right half: the lower right quadrant of another picture, by its source rectangle,
    // with bounds that don't start at 0,0 either.
    BitsOp right = Op(0x98, 8);
    right.bounds = Rect16{50, 50, 90, 114};
    right.src = Rect16{70, 82, 90, 114};
    right.dst = Rect16{100, 232, 140, 264};
    WriteBitsOp(w, right, Quadrants(64, 40));
    // A filled rectangle in the foreground colour, drawn last, over the top right corner.
    w.Op(0x1A).Word(0).Word(0xFFFF).Word(0);
    w.Op(0x34).Rect(Rect16{100, 260, 104, 264});
    auto p = Decode(w.Finish());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 64);
    EXPECT_EQ(p->height, 40);
    ExpectColours(*p, {{3, 3, kRed}, {30, 18, kRed}, {30, 21, kBlue}, {34, 10, kYellow},
                       {62, 30, kYellow}, {62, 2, kGreen}, {58, 2, kYellow}});
}

TEST(PictCompose, AReducedCopyKeepsTheFrameSize)
{
    Budget small;
    small.maxSide = 100;
    auto p = Decode(DirectPict(Quadrants(400, 200), 4), small);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 400);
    EXPECT_EQ(p->height, 200);
    ExpectQuadrants(*p, 100, 50);
}
