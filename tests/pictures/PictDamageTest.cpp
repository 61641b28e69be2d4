// The PICT reader on what is not a plain picture: opcodes it steps over, pictures cut short
// or damaged, and claims of sizes no file of that length could hold.
#include "pictures/PictTestSupport.h"

#include <chrono>

using namespace pict_fixtures;
using namespace pict_test;

namespace {

const Rect16 kFrame{0, 0, 40, 64};

void WriteQuadrants(PictWriter& w, int packType = 4)
{
    BitsOp op;
    op.packType = packType;
    op.bounds = op.dst = kFrame;
    WriteBitsOp(w, op, Quadrants(64, 40));
}

// Every kind of opcode but the pixel ones, each with data of its documented length. Their
// data is full of 0x00FF, the end of the picture, so that a length misread ends the walk.
void WriteSkippedOpcodes(PictWriter& w)
{
    w.Op(0x00).Op(0x01).Bytes(RectRegion(kFrame)).Op(0x02).Long(0).Long(0).Op(0x03).Word(3).Op(0x04).Byte(1);
    w.Op(0x05).Word(0).Op(0x06).Long(0).Op(0x07).Long(0x10001).Op(0x08).Word(8).Op(0x09).Long(0).Long(0);
    w.Op(0x0A).Long(0).Long(0).Op(0x0B).Long(0).Op(0x0C).Long(0).Op(0x0D).Word(12).Op(0x0E).Long(33);
    w.Op(0x0F).Long(30).Op(0x10).Long(0x10001).Long(0x10001).Op(0x15).Word(0).Op(0x16).Word(0).Op(0x17);
    w.Op(0x1B).Word(0).Word(0).Word(0).Op(0x1C).Op(0x1D).Word(1).Word(2).Word(3).Op(0x1E).Op(0x1F).Long(0).Word(0);
    w.Op(0x20).Long(0).Long(0x50005).Op(0x21).Long(0).Op(0x22).Long(0).Word(0x0101).Op(0x23).Word(0x0202);
    w.Op(0x24).Word(3).Byte(1).Byte(2).Byte(3);
    w.Op(0x28).Long(0xFF00FF).Byte(4).Long(0xFF00FF).Op(0x29).Byte(4).Byte(3).Bytes("abc");
    w.Op(0x2A).Byte(4).Byte(2).Bytes("de").Op(0x2B).Byte(1).Byte(1).Byte(1).Bytes("f");
    w.Op(0x2C).Word(7).Word(3).Byte(4).Bytes("Chic").Op(0x2E).Word(8).Long(0).Long(0);
    w.Op(0x30).Rect(kFrame).Op(0x32).Rect(kFrame).Op(0x38).Op(0x40).Rect(kFrame).Op(0x48);
    w.Op(0x50).Rect(kFrame).Op(0x58).Op(0x60).Rect(kFrame).Word(0xFF).Word(0xFF).Op(0x68).Word(0xFF).Word(0xFF);
    w.Op(0x70).Word(18).Rect(kFrame).Long(0).Long(0x100010).Op(0x78);
    w.Op(0x80).Bytes(ShapeRegion(kFrame, [](int x, int y) { return x > y; })).Op(0x88);
    w.Op(0xA0).Word(100).Op(0xA1).Word(498).Word(5).Bytes("12345");
    if (w.Version1())
        return;
    w.Op(0x92).Word(2).Word(0).Op(0xA2).Word(1).Byte(0).Op(0xB0).Op(0xCF).Op(0xD0).Long(3).Bytes("xyz");
    w.Op(0x0100).Word(0).Op(0x0200).Long(0).Op(0x0C01).Bytes(QByteArray(24, '\1'));
    w.Op(0x7F00).Bytes(QByteArray(254, '\2')).Op(0x8000).Op(0x80FF).Op(0x8100).Long(2).Word(0);
    w.Op(0xFFFF).Long(6).Bytes("opaque");
    // The three pixel patterns: an RGB one, an old one-bit one and a full pixel map one.
    w.Op(0x12).Word(2).Long(0).Long(0).Word(0xFFFF).Word(0).Word(0).Op(0x13).Word(0).Long(0).Long(0);
    WritePixPatOp(w, 0x14, Quadrants(8, 8));
}

} // namespace

TEST(PictSkipping, EveryOpcodeThatDrawsNothingIsSteppedOver)
{
    for (auto version : {PictWriter::Version::One, PictWriter::Version::Two}) {
        PictWriter w(version, kFrame);
        WriteSkippedOpcodes(w);
        BitsOp op;
        op.opcode = 0x98;
        op.depth = version == PictWriter::Version::One ? 1 : 8;
        op.pixMap = version != PictWriter::Version::One;
        op.bounds = op.dst = kFrame;
        QImage image = Quadrants(64, 40);
        WriteBitsOp(w, op, image);
        auto p = Decode(w.Finish());
        ASSERT_TRUE(p);
        if (op.pixMap) {
            ExpectQuadrants(*p, 64, 40);
        } else { // one bit: red dark, yellow light
            EXPECT_EQ(At(*p, 10, 10), kBlack);
            EXPECT_EQ(At(*p, 60, 35), kWhite);
        }
    }
}

TEST(PictSkipping, PaintedRectanglesInTheForegroundColour)
{
    PictWriter w(PictWriter::Version::Two, kFrame);
    w.Op(0x1A).Word(0).Word(0).Word(0xFFFF).Op(0x31).Rect(Rect16{0, 0, 20, 64});
    w.Op(0x1A).Word(0xFFFF).Word(0).Word(0).Op(0x3C); // fillSameRect
    w.Op(0x30).Rect(Rect16{20, 0, 40, 10});            // frameRect: outlines are not drawn
    auto p = Decode(w.Finish());
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 30, 10), kRed);
    EXPECT_EQ(At(*p, 5, 30), kWhite);
}

TEST(PictDamage, ACutPictureKeepsWhatWasDrawn)
{
    PictWriter w(PictWriter::Version::Two, kFrame);
    BitsOp top;
    top.bounds = top.dst = Rect16{0, 0, 20, 64};
    WriteBitsOp(w, top, Quadrants(64, 40).copy(0, 0, 64, 20));
    const int firstEnd = int(w.Unfinished().size());
    BitsOp bottom = top;
    bottom.dst = Rect16{20, 0, 40, 64};
    WriteBitsOp(w, bottom, Quadrants(64, 40).copy(0, 20, 64, 20));
    const QByteArray whole = w.Finish();
    for (int cut = 0; cut < whole.size(); ++cut) {
        auto p = Decode(whole.left(cut));
        if (cut >= firstEnd) {
            ASSERT_TRUE(p) << cut;
            EXPECT_EQ(At(*p, 10, 10), kRed);
            EXPECT_EQ(At(*p, 50, 10), kGreen);
        }
        if (p && cut < whole.size() - 40)
            EXPECT_EQ(At(*p, 50, 39), kWhite) << cut;
    }
    ExpectQuadrants(*Decode(whole), 64, 40);
}

TEST(PictDamage, DamagedBytesGiveAPictureOrNone)
{
    PictWriter w(PictWriter::Version::Two, kFrame);
    WriteSkippedOpcodes(w);
    WriteQuadrants(w);
    QuickTimeOp qt;
    std::copy("rle ", "rle " + 5, qt.codec);
    qt.width = 64, qt.height = 40;
    qt.data = AnimationPayload(Quadrants(64, 40), 24);
    WriteQuickTimeOp(w, qt);
    const QByteArray whole = w.Finish();
    for (int at = 0; at < whole.size(); ++at)
        for (char value : {'\x00', '\x7F', '\x80', '\xFF'}) {
            QByteArray damaged = whole;
            damaged[at] = value;
            auto p = Decode(damaged);
            if (p) {
                EXPECT_GT(p->width, 0);
                EXPECT_GT(p->height, 0);
                EXPECT_LE(std::max(p->image.width(), p->image.height()), Budget().maxSide);
            }
        }
}

TEST(PictDamage, DamagedDrawingsGiveAPictureOrNone)
{
    // Each drawing cut at every byte, and each byte set to values that make lengths and counts
    // far too large or nothing.
    for (const auto& [name, whole] : VectorSeeds())
        for (int at = 0; at < whole.size(); ++at) {
            auto cut = Decode(whole.left(at));
            if (cut) {
                EXPECT_GT(cut->width, 0) << name;
            }
            for (char value : {'\x00', '\x7F', '\x80', '\xFF'}) {
                QByteArray damaged = whole;
                damaged[at] = value;
                auto p = Decode(damaged);
                if (p) {
                    EXPECT_LE(std::max(p->image.width(), p->image.height()), Budget().maxSide) << name;
                }
            }
        }
}

TEST(PictDamage, SizesNoFileOfThatLengthCouldHold)
{
    // A frame of 65535 x 65535: beyond the pixel bound.
    PictWriter huge(PictWriter::Version::Two, Rect16{-32768, -32768, 32767, 32767});
    WriteQuadrants(huge);
    EXPECT_FALSE(Decode(huge.Finish()));
    // A pixel map of 30000 x 30000 in a few hundred bytes.
    PictWriter claim(PictWriter::Version::Two, kFrame);
    claim.Op(0x9A).Long(0xFF).Word(0x8000 | 30000 * 4 / 4).Rect(Rect16{0, 0, 30000, 30000});
    claim.Word(0).Word(4).Long(0).Long(0).Long(0).Word(16).Word(32).Word(3).Word(8).Long(0).Long(0).Long(0);
    claim.Rect(Rect16{0, 0, 30000, 30000}).Rect(kFrame).Word(0).Bytes(QByteArray(300, '\x81'));
    EXPECT_FALSE(Decode(claim.Finish()));
    // Rows whose PackBits would expand far beyond their length are cut at it.
    PictWriter bomb(PictWriter::Version::Two, kFrame);
    BitsOp op;
    op.opcode = 0x98, op.depth = 8, op.bounds = op.dst = kFrame;
    QImage red(64, 40, QImage::Format_RGB32);
    red.fill(kRed);
    WriteBitsOp(bomb, op, red);
    QByteArray file = bomb.Unfinished();
    file.chop(40 * 3); // each row: its count and one run of 64
    for (int y = 0; y < 40; ++y) {
        file.append('\xF8'); // 124 runs of 128, each far beyond the row's 64 bytes
        for (int run = 0; run < 124; ++run)
            file.append('\x81').append('\0');
    }
    auto p = Decode(file);
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 63, 39), kRed);
}

TEST(PictDamage, BudgetsAreKept)
{
    const QByteArray file = DirectPict(Quadrants(64, 40));
    Budget few;
    few.maxPixels = 1000;
    EXPECT_FALSE(Decode(file, few));
    Budget late;
    late.deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    EXPECT_FALSE(Decode(file, late));
    // A one-pixel bitmap stretched over the largest rectangle there is: drawn, clipped, quick.
    PictWriter w(PictWriter::Version::Two, kFrame);
    BitsOp op;
    op.bounds = Rect16{0, 0, 1, 1};
    op.dst = Rect16{-32768, -32768, 32767, 32767};
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(kBlue);
    WriteBitsOp(w, op, dot);
    auto p = Decode(w.Finish());
    ASSERT_TRUE(p);
    EXPECT_EQ(At(*p, 0, 0), kBlue);
    EXPECT_EQ(At(*p, 63, 39), kBlue);
}
