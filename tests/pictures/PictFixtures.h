#pragma once
// PICT files for the tests, written opcode by opcode: the header of each version, bitmaps and
// pixel maps at every depth and packing, regions, and QuickTime images with their payloads.
#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pict_fixtures {

struct Rect16 {
    int16_t top = 0, left = 0, bottom = 0, right = 0;
};

class PictWriter {
public:
    enum class Version { One, Two, ExtendedTwo };
    // `source` is the extended version 2 header's source rectangle (the frame when empty).
    PictWriter(Version version, Rect16 frame, bool fileHeader = false, Rect16 source = {});

    PictWriter& Op(uint16_t opcode); // a byte in version 1, an even-aligned word in version 2
    PictWriter& Byte(uint8_t v);
    PictWriter& Word(uint16_t v);
    PictWriter& Long(uint32_t v);
    PictWriter& Rect(Rect16 r);
    PictWriter& Point(int16_t v, int16_t h) { return Word(uint16_t(v)).Word(uint16_t(h)); }
    PictWriter& Text(const QByteArray& s); // a counted string
    PictWriter& Bytes(const QByteArray& b);
    bool Version1() const { return version_ == Version::One; }
    // The end opcode and the picture's size word; the file's bytes.
    QByteArray Finish();
    // The bytes so far, without an end: a picture cut short.
    QByteArray Unfinished() const { return out_; }

private:
    QByteArray out_;
    int origin_;
    Version version_;
};

// PackBits in units of one byte, or of two for 16-bit pixels.
QByteArray PackBits(const QByteArray& row, int unit = 1);

// A region: a rectangle, or the cells of `bounds` where inside(x, y) holds.
QByteArray RectRegion(Rect16 r);
template <typename Inside>
QByteArray ShapeRegion(Rect16 bounds, Inside inside);
QByteArray RegionFromRows(Rect16 bounds, const std::vector<std::vector<bool>>& rows);

// A bitmap or pixel map opcode (0x90, 0x91, 0x98, 0x99, 0x9A, 0x9B) with `image` as its pixels.
struct BitsOp {
    uint16_t opcode = 0x9A;
    int depth = 32;     // 1, 2, 4, 8 (indexed), 16 or 32
    bool pixMap = true; // false: a plain one-bit BitMap
    int packType = 0;
    int cmpCount = 3;
    Rect16 bounds;      // the image's own rectangle; its size is the image's
    Rect16 src, dst;    // empty src: the bounds
    uint16_t mode = 0;
    QByteArray region;  // for the Rgn opcodes
    bool byPosition = false; // a device colour table: entries by their place, their values 0
};
void WriteBitsOp(PictWriter& w, const BitsOp& op, const QImage& image);
// A pixel pattern opcode (0x12, 0x13, 0x14) of type 1, its pixels an 8-bit pixel map of `image`.
void WritePixPatOp(PictWriter& w, uint16_t opcode, const QImage& image);

// A QuickTime opcode around an image description and its data.
struct QuickTimeOp {
    uint16_t opcode = 0x8200;
    char codec[5] = "jpeg";
    int width = 0, height = 0, depth = 24;
    QByteArray data;
    int tx = 0, ty = 0;  // the matrix's translation
    double scale = 1;    // and its scale
    Rect16 src;          // 0x8200 only; empty: the whole image
    QByteArray mask;     // 0x8200 only: a region
    std::vector<QRgb> colourTable;
};
void WriteQuickTimeOp(PictWriter& w, const QuickTimeOp& op);

// Payloads: Qt's writers (and a GIF writer of our own, which Qt lacks), uncompressed rows and
// the Animation codec.
QByteArray EncodeWithQt(const QImage& image, const char* format);
QByteArray RawPayload(const QImage& image, int depth, const std::vector<QRgb>& palette = {});
QByteArray AnimationPayload(const QImage& image, int depth, const std::vector<QRgb>& palette = {});
// A Windows bitmap without its file header, uncompressed (24 bits) or run-length coded (8 bits).
QByteArray DibPayload(const QImage& image, bool rle8);

// A picture of `image` as one DirectBitsRect (32 bits, pack type 4) filling the frame.
QByteArray DirectPict(const QImage& image, int packType = 4, int cmpCount = 3, bool fileHeader = false);
// Test images: four quadrants of red, green, blue and white, or a scene of bands.
QImage Quadrants(int width, int height);
// Small pictures of many kinds, to seed the fuzzer.
std::vector<std::pair<std::string, QByteArray>> PictSeeds();

// QuickDraw drawing: `shapes` operations of every kind (shapes with each verb, lines, text,
// state changes between them) spread over the frame, as a drawing program would record them.
QByteArray VectorScene(Rect16 frame, int shapes, bool fileHeader = false);
// The same into a writer; without text, the text becomes ovals.
void WriteVectorScene(PictWriter& w, Rect16 frame, int shapes, bool text = true);
// Small drawings, one a group of QuickDraw's opcodes, in versions 1 and 2, to seed the fuzzer.
std::vector<std::pair<std::string, QByteArray>> VectorSeeds();

template <typename Inside>
QByteArray ShapeRegion(Rect16 bounds, Inside inside)
{
    std::vector<std::vector<bool>> rows;
    for (int y = bounds.top; y < bounds.bottom; ++y) {
        rows.emplace_back();
        for (int x = bounds.left; x < bounds.right; ++x)
            rows.back().push_back(inside(x, y));
    }
    return RegionFromRows(bounds, rows);
}

} // namespace pict_fixtures
