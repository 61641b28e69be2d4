// QuickDraw drawings for the tests, the fuzzer's seeds and the benchmark: shapes with each verb,
// lines, text and the state they are drawn with, written opcode by opcode.
#include "pictures/PictFixtures.h"

namespace pict_fixtures {
namespace {

// A small generator, so that a scene is the same on every run.
struct Dice {
    uint32_t state = 12345;
    int Next(int below)
    {
        state = state * 1664525u + 1013904223u;
        return int((state >> 8) % uint32_t(below));
    }
};

Rect16 SomeRect(Dice& dice, Rect16 frame)
{
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const int left = frame.left + dice.Next(w), top = frame.top + dice.Next(h);
    return Rect16{int16_t(top), int16_t(left), int16_t(top + 2 + dice.Next(h / 4 + 1)),
                  int16_t(left + 2 + dice.Next(w / 4 + 1))};
}

void WriteShape(PictWriter& w, Dice& dice, Rect16 frame, int n, bool text)
{
    const Rect16 r = SomeRect(dice, frame);
    const uint16_t verb = uint16_t(dice.Next(5));
    switch (n % 8) {
    case 0:
        w.Op(0x30 + verb).Rect(r);
        break;
    case 1:
        w.Op(0x40 + verb).Rect(r);
        break;
    case 2:
        w.Op(0x50 + verb).Rect(r);
        break;
    case 3:
        w.Op(0x60 + verb).Rect(r).Word(uint16_t(dice.Next(360))).Word(uint16_t(30 + dice.Next(300)));
        break;
    case 4: {
        w.Op(0x70 + verb).Word(10 + 4 * 4).Rect(r);
        w.Point(r.top, r.left).Point(r.bottom, r.left).Point(r.bottom, r.right).Point(r.top, r.left);
        break;
    }
    case 5:
        w.Op(0x20).Point(r.top, r.left).Point(r.bottom, r.right);
        break;
    case 6:
        if (!text)
            w.Op(0x51).Rect(r);
        else
            w.Op(0x28).Point(r.bottom, r.left).Text("Zorlin " + QByteArray::number(n));
        break;
    default:
        w.Op(0x80 + verb).Bytes(RectRegion(r));
    }
}

} // namespace

QByteArray VectorScene(Rect16 frame, int shapes, bool fileHeader)
{
    PictWriter w(PictWriter::Version::Two, frame, fileHeader);
    WriteVectorScene(w, frame, shapes);
    return w.Finish();
}

void WriteVectorScene(PictWriter& w, Rect16 frame, int shapes, bool text)
{
    Dice dice;
    w.Op(0x0B).Point(12, 16);
    if (text)
        w.Op(0x2C).Word(12).Word(21).Text("Helvetica").Op(0x03).Word(21).Op(0x0D).Word(14);
    for (int n = 0; n < shapes; ++n) {
        if (n % 16 == 0) // a new colour, pen and pattern now and then
            w.Op(0x1A).Word(uint16_t(dice.Next(65536))).Word(uint16_t(dice.Next(65536))).Word(uint16_t(dice.Next(65536)))
                .Op(0x07).Point(int16_t(1 + dice.Next(3)), int16_t(1 + dice.Next(3)))
                .Op(0x0A).Long(0xAA55AA55).Long(0xAA55AA55);
        WriteShape(w, dice, frame, n, text);
    }
}

std::vector<std::pair<std::string, QByteArray>> VectorSeeds()
{
    const Rect16 frame{0, 0, 32, 48};
    std::vector<std::pair<std::string, QByteArray>> seeds;
    seeds.emplace_back("vector-scene.pict", VectorScene(frame, 40));
    for (auto version : {PictWriter::Version::One, PictWriter::Version::Two}) {
        const std::string v = version == PictWriter::Version::One ? "-v1" : "-v2";
        PictWriter w(version, frame);
        // The state: clip, origin, pen, patterns, colours of both kinds, then each shape's
        // "same" forms after its own.
        w.Op(0x01).Bytes(ShapeRegion(frame, [](int x, int y) { return x + y < 60; })).Op(0x0C).Word(2).Word(1);
        w.Op(0x07).Point(2, 3).Op(0x08).Word(10).Op(0x09).Long(0xF0F0F0F0).Long(0x0F0F0F0F);
        w.Op(0x02).Long(0x11224488).Long(0x11224488).Op(0x0A).Long(0xAA55AA55).Long(0xAA55AA55);
        w.Op(0x0E).Long(205).Op(0x0F).Long(69).Op(0x0B).Point(6, 8);
        for (uint16_t kind = 0x30; kind < 0x90; kind += 0x10) {
            w.Op(kind + 1);
            if (kind < 0x70)
                w.Rect(Rect16{2, 3, 20, 30});
            if (kind == 0x60 || kind == 0x60 + 8)
                w.Word(45).Word(200);
            if (kind == 0x70)
                w.Word(22).Rect(Rect16{1, 1, 30, 40}).Point(1, 1).Point(30, 20).Point(4, 40);
            if (kind == 0x80)
                w.Bytes(ShapeRegion(Rect16{4, 4, 20, 30}, [](int x, int y) { return (x ^ y) & 4; }));
            w.Op(kind + 8 + 3);
            if (kind == 0x60)
                w.Word(10).Word(90);
        }
        w.Op(0x20).Point(1, 1).Point(30, 40).Op(0x21).Point(5, 5).Op(0x22).Point(9, 9).Byte(20).Byte(0xF0);
        w.Op(0x23).Byte(3).Byte(4).Op(0x04).Byte(7).Op(0x05).Word(2).Op(0x0D).Word(9).Op(0x03).Word(22);
        w.Op(0x28).Point(20, 4).Text("QuickDraw").Op(0x29).Byte(8).Text("dh").Op(0x2A).Byte(5).Text("dv");
        w.Op(0x2B).Byte(2).Byte(3).Text("both");
        if (version == PictWriter::Version::Two) {
            w.Op(0x1A).Word(0).Word(0x8000).Word(0xFFFF).Op(0x1B).Word(0xFFFF).Word(0).Word(0);
            w.Op(0x12).Word(2).Long(0).Long(0).Word(0x1234).Word(0x5678).Word(0x9ABC);
            WritePixPatOp(w, 0x13, Quadrants(8, 8));
            w.Op(0x14).Word(0).Long(0x55AA55AA).Long(0x55AA55AA).Op(0x31).Rect(frame).Op(0x32).Rect(frame);
        }
        seeds.emplace_back("vector-groups" + v + ".pict", w.Finish());
    }
    return seeds;
}

} // namespace pict_fixtures
