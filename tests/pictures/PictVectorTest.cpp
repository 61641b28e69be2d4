// The PICT reader on QuickDraw drawings: every shape with every verb and in its "same" form,
// lines, pen size, modes and patterns, colours of both kinds, clip, origin and text, checked
// by the pixels they leave; and the pixel opcodes' transfer modes.
#include "pictures/PictTestSupport.h"

#include <functional>
#include <string>
#include <vector>

using namespace pict_fixtures;
using namespace pict_test;

namespace {

const Rect16 kFrame{0, 0, 40, 64};
constexpr QRgb kCyan = 0xFF00FFFFu, kMagenta = 0xFFFF00FFu;

using Ops = std::function<void(PictWriter&)>;

PictWriter& Fg(PictWriter& w, QRgb c)
{
    return w.Op(0x1A).Word(uint16_t(qRed(c) * 257)).Word(uint16_t(qGreen(c) * 257)).Word(uint16_t(qBlue(c) * 257));
}

PictWriter& Bg(PictWriter& w, QRgb c)
{
    return w.Op(0x1B).Word(uint16_t(qRed(c) * 257)).Word(uint16_t(qGreen(c) * 257)).Word(uint16_t(qBlue(c) * 257));
}

// The whole frame painted in a colour, to draw over.
PictWriter& Ground(PictWriter& w, QRgb c)
{
    return Fg(w, c).Op(0x31).Rect(kFrame).Op(0x1A).Word(0).Word(0).Word(0);
}

QByteArray Drawing(PictWriter::Version version, const Ops& ops, Rect16 frame = kFrame)
{
    PictWriter w(version, frame);
    ops(w);
    return w.Finish();
}

const QByteArray kChecker = QByteArray::fromHex("AA55AA55AA55AA55");
const Rect16 kBox{10, 10, 20, 30}; // rows 10 to 19, columns 10 to 29

QByteArray Circle()
{
    return ShapeRegion(kFrame, [](int x, int y) { return (x - 32) * (x - 32) + (y - 20) * (y - 20) < 15 * 15; });
}

struct Case {
    const char* name;
    Ops ops;
    std::vector<Probe> probes;
};

const std::vector<Case>& ShapeCases()
{
    static const std::vector<Case> cases = {
        {"paintRect covers the pixels inside its grid lines",
         [](PictWriter& w) { Fg(w, kRed).Op(0x31).Rect(kBox); },
         {{10, 10, kRed}, {29, 19, kRed}, {30, 19, kWhite}, {9, 15, kWhite}, {15, 20, kWhite}, {15, 9, kWhite}}},
        {"frameRect lies inside its rectangle, the pen's width and height deep",
         [](PictWriter& w) { w.Op(0x07).Point(3, 2).Op(0x30).Rect(Rect16{10, 10, 30, 40}); },
         {{10, 20, kBlack}, {11, 20, kBlack}, {12, 20, kWhite}, {39, 20, kBlack}, {38, 20, kBlack}, {37, 20, kWhite},
          {20, 10, kBlack}, {20, 12, kBlack}, {20, 13, kWhite}, {20, 29, kBlack}, {20, 27, kBlack}, {20, 26, kWhite},
          {9, 20, kWhite}, {40, 20, kWhite}}},
        {"eraseRect uses the background colour",
         [](PictWriter& w) { Bg(Ground(w, kBlack), kGreen).Op(0x32).Rect(kBox); },
         {{15, 15, kGreen}, {5, 5, kBlack}}},
        {"invertRect inverts", [](PictWriter& w) { Ground(w, kRed).Op(0x33).Rect(kBox); },
         {{15, 15, kCyan}, {5, 5, kRed}}},
        {"fillRect's pattern alternates", [](PictWriter& w) { w.Op(0x0A).Bytes(kChecker).Op(0x34).Rect(kFrame); },
         {{0, 0, kBlack}, {1, 0, kWhite}, {0, 1, kWhite}, {1, 1, kBlack}, {62, 38, kBlack}, {63, 38, kWhite}}},
        {"paintSameRect reuses the last rectangle",
         [](PictWriter& w) { Fg(w, kRed).Op(0x31).Rect(kFrame).Op(0x31).Rect(kBox); Fg(w, kBlue).Op(0x39); },
         {{15, 15, kBlue}, {5, 5, kRed}}},
        {"paintRRect rounds its corners",
         [](PictWriter& w) { w.Op(0x0B).Point(16, 16).Op(0x41).Rect(kFrame); },
         {{32, 20, kBlack}, {32, 0, kBlack}, {0, 20, kBlack}, {0, 0, kWhite}, {63, 39, kWhite}}},
        {"frameRRect", [](PictWriter& w) { w.Op(0x0B).Point(16, 16).Op(0x40).Rect(kFrame); },
         {{32, 0, kBlack}, {0, 20, kBlack}, {32, 20, kWhite}, {0, 0, kWhite}}},
        {"invertSameRRect",
         [](PictWriter& w) { Ground(w, kRed).Op(0x0B).Point(8, 8).Op(0x40).Rect(kBox).Op(0x4B); },
         {{20, 15, kCyan}, {10, 15, kWhite}, {5, 5, kRed}}},
        {"paintOval", [](PictWriter& w) { w.Op(0x51).Rect(kFrame); },
         {{32, 20, kBlack}, {32, 1, kBlack}, {1, 20, kBlack}, {2, 2, kWhite}, {61, 37, kWhite}}},
        {"frameOval", [](PictWriter& w) { w.Op(0x50).Rect(kFrame); },
         {{32, 0, kBlack}, {0, 20, kBlack}, {63, 20, kBlack}, {32, 20, kWhite}, {2, 2, kWhite}}},
        {"fillSameOval", [](PictWriter& w) { Fg(w, kRed).Op(0x51).Rect(kBox).Op(0x0A).Bytes(kChecker).Op(0x5C); },
         {{20, 14, kRed}, {21, 14, kWhite}, {5, 5, kWhite}}},
        {"paintArc: clockwise from twelve o'clock",
         [](PictWriter& w) { w.Op(0x61).Rect(kFrame).Word(0).Word(90); },
         {{48, 10, kBlack}, {16, 10, kWhite}, {48, 30, kWhite}, {16, 30, kWhite}}},
        {"frameArc draws the curve only",
         [](PictWriter& w) { w.Op(0x60).Rect(kFrame).Word(90).Word(180); },
         {{32, 39, kBlack}, {32, 0, kWhite}, {32, 30, kWhite}, {10, 20, kWhite}}},
        {"paintSameArc keeps the oval and takes new angles",
         [](PictWriter& w) { Fg(w, kRed).Op(0x61).Rect(kFrame).Word(0).Word(90); Fg(w, kBlue).Op(0x69).Word(180).Word(90); },
         {{16, 30, kBlue}, {48, 10, kRed}, {48, 30, kWhite}}},
        {"paintPoly",
         [](PictWriter& w) { w.Op(0x71).Word(22).Rect(kFrame).Point(0, 0).Point(40, 0).Point(40, 64); },
         {{5, 30, kBlack}, {60, 5, kWhite}}},
        {"framePoly joins its points without closing them",
         [](PictWriter& w) { w.Op(0x70).Word(22).Rect(kFrame).Point(0, 0).Point(39, 0).Point(39, 63); },
         {{0, 20, kBlack}, {30, 39, kBlack}, {5, 30, kWhite}, {32, 20, kWhite}}},
        {"paintSamePoly",
         [](PictWriter& w) { w.Op(0x70).Word(22).Rect(kFrame).Point(0, 0).Point(40, 0).Point(40, 64); Fg(w, kRed).Op(0x79); },
         {{5, 30, kRed}, {60, 5, kWhite}}},
        {"paintRgn", [](PictWriter& w) { w.Op(0x81).Bytes(Circle()); },
         {{32, 20, kBlack}, {45, 20, kBlack}, {48, 20, kWhite}, {2, 2, kWhite}}},
        {"frameRgn outlines the region inside it",
         [](PictWriter& w) {
             w.Op(0x80).Bytes(ShapeRegion(Rect16{10, 10, 30, 50}, [](int x, int y) { return x < 30 || y < 20; }));
         },
         {{10, 15, kBlack}, {49, 15, kBlack}, {29, 25, kBlack}, {15, 15, kWhite}, {35, 25, kWhite}}},
        {"invertSameRgn", [](PictWriter& w) { Fg(w, kRed).Op(0x81).Bytes(Circle()).Op(0x8B); },
         {{32, 20, kCyan}, {2, 2, kWhite}}},
        {"Line: the pen hangs below and to the right",
         [](PictWriter& w) { w.Op(0x07).Point(3, 3).Op(0x20).Point(10, 10).Point(10, 40); },
         {{10, 10, kBlack}, {42, 12, kBlack}, {43, 12, kWhite}, {20, 13, kWhite}, {20, 9, kWhite}, {9, 10, kWhite}}},
        {"LineFrom goes on from the pen",
         [](PictWriter& w) { w.Op(0x20).Point(5, 5).Point(5, 20).Op(0x21).Point(30, 20); },
         {{12, 5, kBlack}, {20, 15, kBlack}, {20, 30, kBlack}, {21, 15, kWhite}}},
        {"ShortLine and ShortLineFrom",
         [](PictWriter& w) { w.Op(0x22).Point(10, 10).Byte(20).Byte(0).Op(0x23).Byte(0).Byte(20); },
         {{25, 10, kBlack}, {30, 25, kBlack}, {25, 25, kWhite}, {31, 25, kWhite}}},
        {"a pen of no size draws no lines",
         [](PictWriter& w) { w.Op(0x34).Rect(Rect16{0, 0, 1, 1}).Op(0x07).Point(0, 0).Op(0x20).Point(10, 10).Point(10, 40); },
         {{20, 10, kWhite}}},
        {"patXor inverts, and twice restores",
         [](PictWriter& w) { Ground(w, kRed).Op(0x08).Word(10).Op(0x31).Rect(kBox).Op(0x31).Rect(Rect16{15, 10, 20, 30}); },
         {{15, 12, kCyan}, {15, 17, kRed}, {5, 5, kRed}}},
        {"patOr leaves what the pattern's clear bits cover",
         [](PictWriter& w) { Fg(Ground(w, kRed), kBlue).Op(0x08).Word(9).Op(0x09).Bytes(kChecker).Op(0x31).Rect(kFrame); },
         {{0, 0, kBlue}, {1, 0, kRed}}},
        {"patBic clears to the background",
         [](PictWriter& w) { Ground(w, kRed).Op(0x08).Word(11).Op(0x31).Rect(kBox); }, {{15, 15, kWhite}, {5, 5, kRed}}},
        {"notPatCopy takes the pattern inverted",
         [](PictWriter& w) { w.Op(0x08).Word(12).Op(0x09).Bytes(QByteArray::fromHex("FF00FF00FF00FF00")).Op(0x31).Rect(kFrame); },
         {{5, 0, kWhite}, {5, 1, kBlack}}},
        {"notPatOr", [](PictWriter& w) { Fg(Ground(w, kRed), kBlue).Op(0x08).Word(13).Op(0x09).Bytes(kChecker).Op(0x31).Rect(kFrame); },
         {{0, 0, kRed}, {1, 0, kBlue}}},
        {"notPatXor", [](PictWriter& w) { Ground(w, kRed).Op(0x08).Word(14).Op(0x09).Bytes(QByteArray(8, 0)).Op(0x31).Rect(kBox); },
         {{15, 15, kCyan}, {5, 5, kRed}}},
        {"notPatBic", [](PictWriter& w) { Ground(w, kRed).Op(0x08).Word(15).Op(0x09).Bytes(kChecker).Op(0x31).Rect(kFrame); },
         {{0, 0, kRed}, {1, 0, kWhite}}},
        {"BkPat: erase draws the background pattern",
         [](PictWriter& w) { Fg(w, kBlue).Op(0x02).Bytes(kChecker).Op(0x32).Rect(kFrame); }, {{0, 0, kBlue}, {1, 0, kWhite}}},
        {"a pixel pattern of a colour", [](PictWriter& w) {
             w.Op(0x13).Word(2).Bytes(kChecker).Word(0).Word(0xFFFF).Word(0).Op(0x31).Rect(kBox);
         }, {{15, 15, kGreen}, {16, 15, kGreen}, {5, 5, kWhite}}},
        {"a pixel pattern of pixels, as their colour", [](PictWriter& w) {
             QImage blue(8, 8, QImage::Format_RGB32);
             blue.fill(kBlue);
             WritePixPatOp(w, 0x14, blue);
             w.Op(0x34).Rect(kBox);
         }, {{15, 15, kBlue}, {16, 16, kBlue}, {5, 5, kWhite}}},
        {"the background pixel pattern", [](PictWriter& w) {
             Ground(w, kBlack).Op(0x12).Word(2).Bytes(kChecker).Word(0xFFFF).Word(0).Word(0xFFFF).Op(0x32).Rect(kBox);
         }, {{15, 15, kMagenta}, {5, 5, kBlack}}},
        {"old-style colours", [](PictWriter& w) {
             w.Op(0x0E).Long(409).Op(0x0F).Long(205).Op(0x31).Rect(kBox).Op(0x32).Rect(Rect16{30, 0, 40, 64});
         }, {{15, 15, kBlue}, {5, 35, kRed}, {5, 5, kWhite}}},
        {"a clip rectangle", [](PictWriter& w) { w.Op(0x01).Bytes(RectRegion(kBox)).Op(0x31).Rect(kFrame); },
         {{10, 10, kBlack}, {29, 19, kBlack}, {9, 15, kWhite}, {30, 15, kWhite}, {15, 20, kWhite}}},
        {"a clip region", [](PictWriter& w) { w.Op(0x01).Bytes(Circle()).Op(0x31).Rect(kFrame).Op(0x20).Point(1, 1).Point(1, 60); },
         {{32, 20, kBlack}, {45, 20, kBlack}, {48, 20, kWhite}, {2, 2, kWhite}, {30, 1, kWhite}}},
        {"the origin moves what follows", [](PictWriter& w) {
             w.Op(0x0C).Word(10).Word(5).Op(0x31).Rect(Rect16{5, 10, 15, 20});
         }, {{0, 0, kBlack}, {9, 9, kBlack}, {10, 9, kWhite}, {5, 10, kWhite}}},
    };
    return cases;
}

} // namespace

TEST(PictVector, AFileOfOnlyShapesAndTextGivesAPicture)
{
    auto p = Decode(VectorScene(Rect16{0, 0, 120, 160}, 60));
    ASSERT_TRUE(p);
    int inked = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            inked += At(*p, x, y) != kWhite;
    EXPECT_GT(inked, 160 * 120 / 10);
    // State alone, and shapes of no size, draw nothing: no picture.
    EXPECT_FALSE(Decode(Drawing(PictWriter::Version::Two, [](PictWriter& w) {
        Fg(w, kRed).Op(0x07).Point(2, 2).Op(0x0B).Point(3, 3).Op(0x31).Rect(Rect16{5, 5, 5, 9}).Op(0x50).Rect(Rect16{9, 9, 2, 2});
    })));
}

TEST(PictVector, EachShapeVerbAndState)
{
    for (auto version : {PictWriter::Version::One, PictWriter::Version::Two})
        for (const Case& c : ShapeCases()) {
            SCOPED_TRACE(std::string(c.name) + (version == PictWriter::Version::One ? ", version 1" : ", version 2"));
            auto p = Decode(Drawing(version, c.ops));
            ASSERT_TRUE(p);
            for (const Probe& probe : c.probes)
                EXPECT_EQ(At(*p, probe.x, probe.y), probe.colour) << "at " << probe.x << "," << probe.y;
        }
}

namespace {

// Text is checked by where its ink falls, not by its glyphs: some of `ink` inside the box,
// nothing but the ground outside it.
struct TextCase {
    const char* name;
    Ops ops;
    QRect box;
    QRgb ground, ink;
};

PictWriter& Helvetica(PictWriter& w)
{
    return w.Op(0x03).Word(21).Op(0x0D).Word(20);
}

const std::vector<TextCase>& TextCases()
{
    static const std::vector<TextCase> cases = {
        {"LongText on its baseline", [](PictWriter& w) { Helvetica(w).Op(0x28).Point(30, 4).Text("Hello"); },
         QRect(2, 10, 62, 30), kWhite, kBlack},
        {"DHText moves right of the last text",
         [](PictWriter& w) { Helvetica(w).Op(0x28).Point(25, 2).Text("").Op(0x29).Byte(32).Text("AB"); },
         QRect(32, 5, 32, 26), kWhite, kBlack},
        {"DVText moves below it", [](PictWriter& w) { Helvetica(w).Op(0x28).Point(14, 4).Text("").Op(0x2A).Byte(22).Text("AB"); },
         QRect(2, 18, 40, 22), kWhite, kBlack},
        {"DHDVText both", [](PictWriter& w) { Helvetica(w).Op(0x28).Point(14, 2).Text("").Op(0x2B).Byte(30).Byte(22).Text("AB"); },
         QRect(31, 18, 33, 22), kWhite, kBlack},
        {"a font by name, bold, italic and underlined", [](PictWriter& w) {
             w.Op(0x2C).Word(10).Word(300).Text("Courier").Op(0x03).Word(300).Op(0x04).Byte(7).Op(0x0D).Word(18);
             Fg(w, kBlue).Op(0x28).Point(24, 4).Text("Mac");
         }, QRect(2, 6, 50, 28), kWhite, kBlue},
        {"srcCopy text on the background colour",
         [](PictWriter& w) { Bg(Helvetica(w), kRed).Op(0x05).Word(0).Op(0x28).Point(30, 4).Text("Hi"); },
         QRect(3, 8, 30, 32), kWhite, kRed},
        {"srcBic text in the background colour",
         [](PictWriter& w) { Helvetica(Ground(w, kBlack)).Op(0x05).Word(3).Op(0x28).Point(30, 4).Text("Hi"); },
         QRect(3, 8, 30, 32), kBlack, kWhite},
        {"srcXor text inverts", [](PictWriter& w) { Helvetica(Ground(w, kRed)).Op(0x05).Word(2).Op(0x28).Point(30, 4).Text("Hi"); },
         QRect(3, 8, 30, 32), kRed, kCyan},
    };
    return cases;
}

} // namespace

TEST(PictVector, TextInkFallsInItsBox)
{
    for (auto version : {PictWriter::Version::One, PictWriter::Version::Two})
        for (const TextCase& c : TextCases()) {
            SCOPED_TRACE(c.name);
            auto p = Decode(Drawing(version, c.ops));
            ASSERT_TRUE(p);
            int inked = 0, stray = 0;
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 64; ++x) {
                    inked += c.box.contains(x, y) && At(*p, x, y) == c.ink;
                    stray += !c.box.contains(x, y) && At(*p, x, y) != c.ground;
                }
            EXPECT_GT(inked, 3);
            EXPECT_EQ(stray, 0);
        }
}

TEST(PictVector, AtAReducedScaleThinLinesStayAndPatternsTurnToTheirMean)
{
    Budget small;
    small.maxSide = 100; // an eighth of the frame
    auto p = Decode(Drawing(PictWriter::Version::Two, [](PictWriter& w) {
        w.Op(0x0A).Bytes(kChecker).Op(0x34).Rect(Rect16{0, 0, 160, 800});
        w.Op(0x20).Point(240, 0).Point(240, 799).Op(0x30).Rect(Rect16{0, 0, 480, 800});
    }, Rect16{0, 0, 480, 800}), small);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->image.width(), 100);
    for (int x : {10, 50, 90}) {
        EXPECT_TRUE(Near(At(*p, x, 10), qRgb(128, 128, 128), 2)) << x;
        EXPECT_EQ(At(*p, x, 30), kBlack) << x;
        EXPECT_EQ(At(*p, x, 40), kWhite) << x;
        EXPECT_EQ(At(*p, x, 59), kBlack) << x;
    }
    EXPECT_EQ(At(*p, 0, 45), kBlack);
    EXPECT_EQ(At(*p, 99, 45), kBlack);
}

TEST(PictVector, TheBitsOpcodesTransferModes)
{
    // A one-bit bitmap, black on the left and white on the right, over red; the colours each
    // mode leaves under its black and its white half.
    struct Row {
        uint16_t mode;
        QRgb underBlack, underWhite;
    };
    const Row rows[] = {
        {0, kBlack, kWhite},  {1, kBlack, kRed},   {2, kCyan, kRed},   {3, kWhite, kRed},
        {4, kWhite, kBlack},  {5, kRed, kBlack},   {6, kRed, kCyan},   {7, kRed, kWhite},
        {36, kBlack, kRed},   {32, qRgb(128, 0, 0), qRgb(255, 128, 128)}, {37, kRed, kWhite},
        {39, kBlack, kRed},   {64, kBlack, kWhite}, {64 + 1, kBlack, kRed}, {50, kBlack, kWhite},
    };
    QImage half(64, 40, QImage::Format_RGB32);
    half.fill(kWhite);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 32; ++x)
            half.setPixel(x, y, kBlack);
    for (const Row& row : rows)
        for (uint16_t opcode : {0x90, 0x98}) {
            PictWriter w(PictWriter::Version::Two, kFrame);
            Ground(w, kRed);
            BitsOp op;
            op.opcode = opcode;
            op.pixMap = false;
            op.depth = 1;
            op.bounds = op.dst = kFrame;
            op.mode = row.mode;
            WriteBitsOp(w, op, half);
            auto p = Decode(w.Finish());
            ASSERT_TRUE(p);
            EXPECT_EQ(At(*p, 10, 10), row.underBlack) << "mode " << row.mode;
            EXPECT_EQ(At(*p, 50, 30), row.underWhite) << "mode " << row.mode;
        }
}
