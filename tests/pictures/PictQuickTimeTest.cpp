// QuickTime images inside pictures: each payload Qt reads, uncompressed rows at each depth,
// the Animation codec, placement by the matrix and clipping by the mask region.
#include "pictures/PictTestSupport.h"

using namespace pict_fixtures;
using namespace pict_test;

namespace {

const Rect16 kFrame{0, 0, 40, 64};

QByteArray QuickTimePict(const QuickTimeOp& op)
{
    PictWriter w(PictWriter::Version::Two, kFrame);
    WriteQuickTimeOp(w, op);
    return w.Finish();
}

QuickTimeOp Image(const char* codec, const QImage& image, const QByteArray& data, int depth = 24)
{
    QuickTimeOp op;
    std::copy(codec, codec + 5, op.codec);
    op.width = image.width();
    op.height = image.height();
    op.depth = depth;
    op.data = data;
    return op;
}

const std::vector<QRgb> kFour = {kRed, kGreen, kBlue, kYellow};

} // namespace

TEST(PictQuickTime, EachPayloadQtReadsIsPlacedByTheMatrix)
{
    const QImage image = Quadrants(32, 20);
    for (auto [codec, data, tolerance] :
         {std::tuple("jpeg", EncodeWithQt(image, "jpeg"), 40), std::tuple("png ", EncodeWithQt(image, "png"), 0),
          std::tuple("tiff", EncodeWithQt(image, "tiff"), 0), std::tuple("BMPf", EncodeWithQt(image, "bmp"), 0),
          std::tuple("gif ", EncodeWithQt(image, "gif"), 0), std::tuple("WRLE", DibPayload(image, false), 0),
          std::tuple("WRLE", DibPayload(image, true), 0)}) {
        SCOPED_TRACE(codec);
        QuickTimeOp op = Image(codec, image, data);
        ASSERT_FALSE(op.data.isEmpty());
        op.tx = 16;
        op.ty = 10;
        auto p = Decode(QuickTimePict(op));
        ASSERT_TRUE(p);
        EXPECT_TRUE(Near(At(*p, 22, 13), kRed, tolerance));
        EXPECT_TRUE(Near(At(*p, 42, 13), kGreen, tolerance));
        EXPECT_TRUE(Near(At(*p, 22, 27), kBlue, tolerance));
        EXPECT_TRUE(Near(At(*p, 42, 27), kYellow, tolerance));
        EXPECT_EQ(At(*p, 10, 5), kWhite);
        EXPECT_EQ(At(*p, 55, 35), kWhite);
    }
}

TEST(PictQuickTime, ScaledByTheMatrixAndCutByTheSourceRectangle)
{
    const QImage image = Quadrants(32, 20);
    QuickTimeOp op = Image("png ", image, EncodeWithQt(image, "png"));
    op.scale = 2;
    ExpectQuadrants(*Decode(QuickTimePict(op)), 64, 40);
    op.src = Rect16{10, 16, 20, 32}; // the yellow quadrant only, placed where the matrix puts it
    auto p = Decode(QuickTimePict(op));
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 40, 25), kYellow);
    EXPECT_EQ(At(*p, 10, 5), kWhite);
}

TEST(PictQuickTime, ALargeImageIsReadReduced)
{
    const QImage image = Quadrants(800, 500);
    QuickTimeOp op = Image("jpeg", image, EncodeWithQt(image, "jpeg"));
    op.scale = 0.08; // 800 x 500 into the 64 x 40 frame
    Budget small;
    small.maxSide = 32;
    auto p = Decode(QuickTimePict(op), small);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 64);
    ExpectQuadrants(*p, 32, 20, 40);
}

TEST(PictQuickTime, UncompressedRowsAtEachDepth)
{
    const QImage image = Quadrants(64, 40);
    for (int depth : {2, 4, 8, 16, 24, 32}) {
        for (uint16_t opcode : {0x8200, 0x8201}) {
            SCOPED_TRACE(testing::Message() << "depth " << depth << " opcode " << opcode);
            QuickTimeOp op = Image("raw ", image, RawPayload(image, depth, kFour), depth);
            op.opcode = opcode;
            if (depth <= 8)
                op.colourTable = kFour;
            auto p = Decode(QuickTimePict(op));
            ASSERT_TRUE(p);
            ExpectQuadrants(*p, 64, 40);
        }
    }
    // One bit with its own table, 8 bits with the system's (0 white, 35 red, 255 black), and
    // 8-bit grey.
    QImage two(64, 40, QImage::Format_RGB32);
    two.fill(kRed);
    two.setPixel(63, 39, kBlack);
    QuickTimeOp one = Image("raw ", two, RawPayload(two, 1, {kRed, kBlack}), 1);
    one.colourTable = {kRed, kBlack};
    auto p = Decode(QuickTimePict(one));
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 62, 39), kRed);
    EXPECT_EQ(At(*p, 63, 39), kBlack);
    std::vector<QRgb> system(256, 0);
    system[0] = kWhite, system[35] = kRed, system[255] = kBlack;
    QImage three = two;
    three.setPixel(0, 0, kWhite);
    p = Decode(QuickTimePict(Image("raw ", three, RawPayload(three, 8, system), 8)));
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 0, 0), kWhite);
    EXPECT_EQ(At(*p, 30, 20), kRed);
    EXPECT_EQ(At(*p, 63, 39), kBlack);
    QImage grey(64, 40, QImage::Format_RGB32);
    grey.fill(qRgb(68, 68, 68));
    p = Decode(QuickTimePict(Image("raw ", grey, RawPayload(grey, 40), 40)));
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 30, 20), qRgb(68, 68, 68));
}

TEST(PictQuickTime, AnimationAtEachDepth)
{
    const QImage image = Quadrants(64, 40);
    for (int depth : {8, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        QuickTimeOp op = Image("rle ", image, AnimationPayload(image, depth, kFour), depth);
        if (depth == 8)
            op.colourTable = kFour;
        auto p = Decode(QuickTimePict(op));
        ASSERT_TRUE(p);
        ExpectQuadrants(*p, 64, 40);
    }
}

TEST(PictQuickTime, AnimationFrameOfSomeLinesWithSkips)
{
    // Lines 5 to 9 only; each skips 10 pixels, repeats red for 20, skips 5 more, copies one blue.
    QByteArray data("\x00\x00\x00\x00\x00\x08\x00\x05\x00\x00\x00\x05\x00\x00", 14);
    for (int line = 0; line < 5; ++line)
        data.append(QByteArray("\x0B\xEC\xFF\x00\x00\x00\x06\x01\x00\x00\xFF\xFF", 12));
    QuickTimeOp op = Image("rle ", QImage(64, 40, QImage::Format_RGB32), data, 24);
    auto p = Decode(QuickTimePict(op));
    ASSERT_TRUE(p);
    ExpectColours(*p, {{9, 6, kWhite}, {10, 6, kRed}, {29, 9, kRed}, {30, 9, kWhite},
                       {35, 7, kBlue}, {15, 4, kWhite}, {15, 10, kWhite}});
}

TEST(PictQuickTime, TheMaskRegionClips)
{
    const QImage image = Quadrants(64, 40);
    QuickTimeOp op = Image("png ", image, EncodeWithQt(image, "png"));
    op.mask = RectRegion(Rect16{5, 5, 15, 15});
    auto p = Decode(QuickTimePict(op));
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 10, 10), kRed);
    EXPECT_EQ(At(*p, 20, 10), kWhite);
    EXPECT_EQ(At(*p, 50, 30), kWhite);
}

TEST(PictQuickTime, AnUnknownCodecIsLeftOutAndTheWalkGoesOn)
{
    PictWriter w(PictWriter::Version::Two, kFrame);
    WriteQuickTimeOp(w, Image("cvid", Quadrants(8, 8), QByteArray(100, '\x42')));
    WriteQuickTimeOp(w, Image("jpeg", Quadrants(8, 8), QByteArray(100, '\x42'))); // damaged data
    BitsOp op;
    op.bounds = op.dst = kFrame;
    WriteBitsOp(w, op, Quadrants(64, 40));
    ExpectQuadrants(*Decode(w.Finish()), 64, 40);
}

TEST(PictQuickTime, TheStandInForReadersWithoutQuickTimeIsSteppedOver)
{
    const QImage image = Quadrants(64, 40);
    PictWriter w(PictWriter::Version::Two, kFrame);
    WriteQuickTimeOp(w, Image("png ", image, EncodeWithQt(image, "png")));
    // The stand-in: a frame painted black, behind a pen size of 0x00AE by its length.
    w.Op(0x0007).Word(0x00AE).Word(2 + 8 + 2 + 6 + 2 + 8);
    w.Op(0x0031).Rect(kFrame).Op(0x001A).Word(0).Word(0).Word(0).Op(0x0031).Rect(kFrame);
    w.Op(0x0007).Long(0x10001); // the real pen size
    ExpectQuadrants(*Decode(w.Finish()), 64, 40);
}

TEST(PictQuickTime, BandsThatDrewAreNotPaintedOverByTheirStandIns)
{
    const QImage image = Quadrants(64, 40);
    PictWriter w(PictWriter::Version::Two, kFrame);
    for (int16_t top : {0, 13, 26}) {
        const int16_t bottom = top == 26 ? 40 : top + 13;
        const QImage band = image.copy(0, top, 64, bottom - top);
        QuickTimeOp op = Image("png ", band, EncodeWithQt(band, "png"));
        op.ty = top;
        WriteQuickTimeOp(w, op);
        BitsOp standIn; // the black and white words that QuickTime is needed
        standIn.opcode = 0x98;
        standIn.pixMap = false;
        standIn.depth = 1;
        standIn.bounds = standIn.dst = Rect16{top, 0, bottom, 64};
        QImage words(64, bottom - top, QImage::Format_RGB32);
        words.fill(Qt::black);
        WriteBitsOp(w, standIn, words);
    }
    ExpectQuadrants(*Decode(w.Finish()), 64, 40);
    // An image that could not be drawn leaves its stand-in to be seen.
    PictWriter unknown(PictWriter::Version::Two, kFrame);
    WriteQuickTimeOp(unknown, Image("cvid", image, QByteArray(100, '\x42')));
    BitsOp standIn;
    standIn.bounds = standIn.dst = kFrame;
    WriteBitsOp(unknown, standIn, image);
    auto p = Decode(unknown.Finish());
    ASSERT_TRUE(p);
    ExpectQuadrants(*p, 64, 40);
}
