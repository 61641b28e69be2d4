#pragma once
// What the parts of the PICT reader share: a bounded big-endian cursor over the file, the
// rectangles and regions of QuickDraw, and the canvas the picture's operations are composed on.
// Every read is checked against the end of the data it may use, so damaged files stop the walk
// instead of reading past the buffer.
#include "PictureCodecs.h"

#include <QImage>
#include <QPainter>
#include <QRegion>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace fw::pictures::pict {

// A reader over part of the file. A read past the end gives zeros and marks the cursor broken,
// so a sequence of reads can be checked once at its end.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Ok() const { return ok_; }
    size_t Pos() const { return pos_; }
    size_t Left() const { return size_ - pos_; }
    const uint8_t* Here() const { return data_ + pos_; }
    bool Has(size_t n) const { return ok_ && n <= size_ - pos_; }

    bool Skip(size_t n);
    uint8_t U8();
    uint16_t U16();
    int16_t S16() { return int16_t(U16()); }
    uint32_t U32();
    void AlignEven(size_t origin); // word opcodes start at even offsets from the picture's start
    // A cursor over the next n bytes, which this one steps over; a broken one when they are missing.
    Cursor Take(size_t n);
    void Fail() { ok_ = false; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

struct Rect {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
};
Rect ReadRect(Cursor& in);

// A QuickDraw region: a bounding box and, for any other shape, rows of inversion points.
class Region {
public:
    // Reads the region's size word, box and data; nothing when it is damaged.
    static std::optional<Region> Read(Cursor& in);
    const Rect& Bounds() const { return bounds_; }
    bool IsRectangle() const { return lines_.empty(); }

    // Follows the region down its rows; AdvanceTo takes rows in increasing order.
    class Walker {
    public:
        explicit Walker(const Region& region) : region_(region) {}
        void AdvanceTo(int32_t y);
        bool Contains(int32_t x, int32_t y) const;
        // The row's inversion points, sorted: inside from the first to the second, and so on.
        const std::vector<int16_t>& Inside() const { return inside_; }

    private:
        const Region& region_;
        size_t nextLine_ = 0;
        std::vector<int16_t> inside_; // the row's inversion points, sorted
    };

private:
    struct Line {
        int16_t y;
        uint32_t first, count;
    };
    Rect bounds_;
    std::vector<Line> lines_;
    std::vector<int16_t> points_;
};

// Gives a source picture's rows as 32-bit colours, in the order asked (never upwards).
class RowSource {
public:
    virtual ~RowSource() = default;
    // Nothing when the row's data is damaged or missing.
    virtual const QRgb* Row(int32_t y) = 0;
};

// How a row of pixels is laid out: colour-table indices of 1 to 8 bits, 16-bit 5-5-5 RGB,
// 32-bit pixels with a pad or alpha byte first, 24-bit RGB, or planes of one byte a component
// (alpha first when there are four).
enum class Pixels { Indexed, Rgb555, Xrgb, Rgb24, Planar };
struct PixelFormat {
    Pixels pixels = Pixels::Indexed;
    int depth = 1;  // bits of an index
    int planes = 3; // components of a planar row
};
// Converts one row of `width` pixels; `palette` holds 256 colours for indexed rows.
void ConvertRow(const PixelFormat& format, const uint8_t* row, int32_t width, const QRgb* palette, QRgb* out);

// QuickDraw's transfer modes: the source modes of the pixel opcodes and text, the pattern
// modes of the pen (the same eight, eight higher), and the arithmetic modes.
enum Mode : uint16_t {
    kSrcCopy = 0, kSrcOr = 1, kSrcXor = 2, kSrcBic = 3,
    kNotSrcCopy = 4, kNotSrcOr = 5, kNotSrcXor = 6, kNotSrcBic = 7,
    kPatCopy = 8, kPatOr = 9, kPatXor = 10, kPatBic = 11,
    kNotPatCopy = 12, kNotPatOr = 13, kNotPatXor = 14, kNotPatBic = 15,
    kBlend = 32, kAddPin = 33, kAddOver = 34, kSubPin = 35, kTransparent = 36, kAddMax = 37, kSubOver = 38,
    kAdMin = 39, kDitherCopy = 64,
};
// The mode as one of the sixteen source and arithmetic modes: pattern modes as their source
// twins, dithering dropped, transparent as srcOr (white is the background), unknown ones as copy.
uint16_t PlainMode(uint16_t mode);
// A source colour laid on a destination colour by a plain mode.
QRgb TransferPixel(uint16_t mode, QRgb source, QRgb dest);

// The picture's frame at a reduced scale. Drawing coordinates are those of `space` (the frame,
// or the native-resolution source rectangle of an extended version 2 picture).
class Canvas {
public:
    Canvas(int width, int height, Rect space);
    ~Canvas() { EndPainting(); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    QImage& Image() { return EndPainting(), image_; }
    bool Drawn() const { return drawn_; }
    // Rows composed so far, which tells whether one image drew anything.
    uint64_t RowsComposed() const { return rowsComposed_; }

    // A QuickTime image that drew is followed by what readers without QuickTime should draw in
    // its place, often a bitmap of the words that QuickTime is needed. The area it drew marks the
    // next bits opcode inside it as that stand-in.
    void MarkStandIn(Rect drawnArea) { standIn_ = drawnArea; }
    // Whether a bits opcode drawing into `dst` is the stand-in of the image drawn just before it.
    bool TakeStandIn(Rect dst);

    void MarkDrawn() { drawn_ = true; }

    // A painter over the canvas in its pixels, clipped to the clip region; it ends before the
    // opcodes that write the canvas's rows themselves.
    QPainter& Painter();
    void EndPainting();
    // Where the clip of what is painted lies, in canvas pixels; none clips to the canvas only.
    void SetClip(std::optional<QRegion> clip);
    // QuickDraw's SetOrigin: the drawing coordinates of everything after move by dh, dv.
    void MoveOrigin(int32_t dh, int32_t dv);
    // Drawing coordinates to canvas pixels: a point, and the pixels a rectangle covers.
    QPointF Map(double x, double y) const { return {(x - space_.left) * kx_, (y - space_.top) * ky_}; }
    QRect Pixels(Rect r) const;
    // The pixels of a region, as rows of spans merged down where they repeat.
    QRegion PixelsOf(const Region& region) const;
    double ScaleX() const { return kx_; }
    double ScaleY() const { return ky_; }
    const Rect& Space() const { return space_; }
    QRect PixelBounds() const { return image_.rect(); }

    // Composes rows [src] of a source `srcWidth` x `srcHeight` into `dst` (drawing coordinates),
    // scaled as the two rectangles differ, clipped to `clip` when there is one. False when the
    // source broke or the budget ran out; what was composed until then stays.
    bool Compose(RowSource& source, int32_t srcWidth, int32_t srcHeight, Rect src, Rect dst,
                 const Region* clip, uint16_t mode, const Budget& budget);
    // The canvas pixels `dst` covers, as a width and height.
    QSize Footprint(Rect dst) const;

private:
    struct Span {
        int from = 0, to = 0;
    };
    Span Columns(Rect r) const;
    Span Rows(Rect r) const;
    double X(int cx) const { return space_.left + (cx + 0.5) / kx_; }
    double Y(int cy) const { return space_.top + (cy + 0.5) / ky_; }

    QImage image_;
    Rect space_;
    double kx_, ky_;
    bool drawn_ = false;
    uint64_t rowsComposed_ = 0;
    std::optional<Rect> standIn_;
    std::optional<QPainter> painter_;
    std::optional<QRegion> clip_;
};

// The opcodes that carry pixels; each reads its opcode's data from `in` and leaves it after
// them. False when the data is damaged, which ends the walk.
bool DrawBitsOp(Cursor& in, uint16_t opcode, Canvas& canvas, const Budget& budget);
// A pixel pattern's one-bit form and, for a colour or pixel map one, the colour it stands for
// (the pixel map's mean); false when damaged.
struct PixPat {
    uint8_t bits[8] = {};
    std::optional<QRgb> colour;
};
bool ReadPixPat(Cursor& in, PixPat& pattern);
bool DrawQuickTimeOp(Cursor& in, uint16_t opcode, Canvas& canvas, const Budget& budget);

// Rows of a QuickTime Animation ('rle ') image of 8, 16, 24 or 32 bits; nothing for other depths.
std::unique_ptr<RowSource> MakeAnimationRows(int32_t width, int32_t height, int depth,
                                             const std::vector<QRgb>& palette, Cursor data);

// The walk over the opcodes from the first one after the header to the end of the picture.
void WalkOpcodes(Cursor& in, size_t origin, bool wordOpcodes, Canvas& canvas, const Budget& budget);

// The standard colours of the system's 1, 2, 4 and 8-bit palettes (index 0 white, last black).
QRgb DefaultPaletteColour(int depth, int index);
// Reads a colour table (seed, flags, size, entries) into 256 colours; false when damaged.
bool ReadColourTable(Cursor& in, std::vector<QRgb>& palette);

} // namespace fw::pictures::pict
