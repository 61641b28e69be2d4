// The PICT opcodes that copy bitmaps and pixel maps: BitsRect, BitsRgn, PackBitsRect,
// PackBitsRgn, DirectBitsRect and DirectBitsRgn. Rows are read in order and unpacked only when
// the canvas takes them; the rest are stepped over by their byte counts.
#include "PictFormat.h"

#include <algorithm>
#include <cstring>

namespace fw::pictures::pict {
namespace {

struct PixMapInfo {
    Rect bounds;
    uint16_t rowBytes = 0;
    bool isPixMap = false;
    uint16_t packType = 0;
    uint16_t pixelSize = 1;
    uint16_t cmpCount = 1;
    std::vector<QRgb> palette;
};

enum class Coding { Raw, PackBytes, PackWords };

struct Layout {
    Coding coding = Coding::Raw;
    PixelFormat format;
    size_t rowLen = 0; // bytes of one unpacked row
    int countSize = 1; // bytes of a packed row's byte count
    int32_t width = 0, height = 0;
};

// The rowBytes word, the bounds and, for a pixel map, its fields and colour table. The colour
// table is stored for indexed pixel maps only; direct ones go without.
bool ReadPixMap(Cursor& in, bool direct, PixMapInfo& pm)
{
    uint16_t raw = in.U16();
    pm.isPixMap = raw & 0x8000;
    pm.rowBytes = raw & 0x3FFF;
    pm.bounds = ReadRect(in);
    pm.palette.assign(256, qRgb(0, 0, 0));
    if (!pm.isPixMap) {
        pm.palette[0] = qRgb(255, 255, 255);
        return in.Ok();
    }
    in.Skip(2); // version
    pm.packType = in.U16();
    in.Skip(4 + 8 + 2); // packSize, hRes, vRes, pixelType
    pm.pixelSize = in.U16();
    pm.cmpCount = in.U16();
    in.Skip(2 + 4 + 4 + 4); // cmpSize, planeBytes, pmTable, pmReserved
    if (!direct && pm.pixelSize <= 8 && !ReadColourTable(in, pm.palette))
        return false;
    return in.Ok();
}

bool DirectLayout(const PixMapInfo& pm, Layout& l)
{
    const bool unpacked = pm.rowBytes < 8 || pm.packType == 1;
    if (pm.pixelSize == 16) {
        l.format.pixels = Pixels::Rgb555;
        l.coding = unpacked ? Coding::Raw : Coding::PackWords;
        l.rowLen = pm.rowBytes;
        return (unpacked || pm.packType == 0 || pm.packType == 3) && pm.rowBytes >= size_t(l.width) * 2;
    }
    if (pm.pixelSize != 32)
        return false;
    if (unpacked) {
        l.format.pixels = Pixels::Xrgb;
        l.rowLen = pm.rowBytes;
        return pm.rowBytes >= size_t(l.width) * 4;
    }
    if (pm.packType == 2) {
        l.format.pixels = Pixels::Rgb24;
        l.rowLen = size_t(l.width) * 3;
        return true;
    }
    l.format.pixels = Pixels::Planar;
    l.coding = Coding::PackBytes;
    l.format.planes = pm.cmpCount;
    l.rowLen = size_t(l.width) * pm.cmpCount;
    return (pm.packType == 0 || pm.packType == 4) && (pm.cmpCount == 3 || pm.cmpCount == 4);
}

bool MakeLayout(const PixMapInfo& pm, bool packed, Layout& l)
{
    l.width = pm.bounds.Width();
    l.height = pm.bounds.Height();
    l.countSize = pm.rowBytes > 250 ? 2 : 1;
    if (pm.bounds.Empty())
        return false;
    if (pm.isPixMap && pm.pixelSize > 8)
        return DirectLayout(pm, l);
    l.format.depth = pm.isPixMap ? pm.pixelSize : 1;
    if (l.format.depth != 1 && l.format.depth != 2 && l.format.depth != 4 && l.format.depth != 8)
        return false;
    l.coding = packed && pm.rowBytes >= 8 ? Coding::PackBytes : Coding::Raw;
    l.rowLen = pm.rowBytes;
    return size_t(pm.rowBytes) * 8 >= size_t(l.width) * size_t(l.format.depth);
}

// Whether the rows could be in what is left of the file, and their pixels within the bounds.
bool Plausible(const Layout& l, size_t left, const Budget& budget)
{
    const uint64_t rows = uint64_t(l.height);
    const uint64_t least = l.coding == Coding::Raw ? rows * l.rowLen : rows * uint64_t(l.countSize);
    return least <= left && int64_t(l.width) * l.height <= budget.maxPixels;
}

// PackBits with units of one byte or, for 16-bit pixels, one word: a count n below 128 copies
// the next n + 1 units, a count above repeats the next unit 257 - n times, 128 does nothing.
void Unpack(Cursor packed, size_t unit, uint8_t* out, size_t len)
{
    size_t done = 0;
    while (packed.Left() > 0 && done < len) {
        auto n = int8_t(packed.U8());
        if (n >= 0) {
            size_t bytes = std::min({size_t(n + 1) * unit, packed.Left(), len - done});
            std::memcpy(out + done, packed.Here(), bytes);
            packed.Skip(bytes);
            done += bytes;
        } else if (n != -128) {
            if (packed.Left() < unit)
                break;
            const uint8_t* value = packed.Here();
            packed.Skip(unit);
            const size_t bytes = std::min(size_t(1 - n) * unit, len - done);
            if (unit == 1)
                std::memset(out + done, value[0], bytes);
            else
                for (size_t b = 0; b < bytes; ++b)
                    out[done + b] = value[b % unit];
            done += bytes;
        }
    }
    std::memset(out + done, 0, len - done);
}

class BitmapRows final : public RowSource {
public:
    BitmapRows(Cursor& in, const Layout& layout, const std::vector<QRgb>& palette)
        : in_(in), l_(layout), palette_(palette), colours_(size_t(layout.width))
    {
        if (l_.coding != Coding::Raw)
            unpacked_.resize(l_.rowLen);
    }

    const QRgb* Row(int32_t y) override
    {
        if (y == have_)
            return colours_.data();
        while (next_ < y)
            if (!Next(false))
                return nullptr;
        if (!Next(true))
            return nullptr;
        ConvertRow(l_.format, row_, l_.width, palette_.data(), colours_.data());
        have_ = y;
        return colours_.data();
    }

    // Steps over the rows the canvas did not take, to the opcode's end.
    bool Finish()
    {
        while (next_ < l_.height)
            if (!Next(false))
                return false;
        return true;
    }

private:
    bool Next(bool keep)
    {
        ++next_;
        if (l_.coding == Coding::Raw) {
            row_ = in_.Here();
            return in_.Skip(l_.rowLen);
        }
        size_t count = l_.countSize == 2 ? in_.U16() : in_.U8();
        Cursor packed = in_.Take(count);
        if (!packed.Ok())
            return false;
        if (keep)
            Unpack(packed, l_.coding == Coding::PackWords ? 2 : 1, unpacked_.data(), l_.rowLen);
        row_ = unpacked_.data();
        return true;
    }

    Cursor& in_;
    const Layout& l_;
    const std::vector<QRgb>& palette_;
    std::vector<uint8_t> unpacked_;
    std::vector<QRgb> colours_;
    const uint8_t* row_ = nullptr;
    int32_t next_ = 0, have_ = -1;
};

} // namespace

bool ReadColourTable(Cursor& in, std::vector<QRgb>& palette)
{
    in.Skip(4); // seed
    const bool byPosition = in.U16() & 0x8000;
    const size_t entries = size_t(in.U16()) + 1;
    if (!in.Has(entries * 8))
        return in.Fail(), false;
    palette.resize(256, qRgb(0, 0, 0));
    for (size_t i = 0; i < entries; ++i) {
        uint16_t value = in.U16();
        int r = in.U16() >> 8, g = in.U16() >> 8, b = in.U16() >> 8;
        palette[(byPosition ? i : value) & 0xFF] = qRgb(r, g, b);
    }
    return true;
}

bool DrawBitsOp(Cursor& in, uint16_t opcode, Canvas& canvas, const Budget& budget)
{
    const bool direct = opcode == 0x9A || opcode == 0x9B, withRegion = opcode & 1;
    if (direct)
        in.Skip(4); // the base address, always 0xFF
    PixMapInfo pm;
    if (!ReadPixMap(in, direct, pm))
        return false;
    Rect src = ReadRect(in), dst = ReadRect(in);
    uint16_t mode = in.U16();
    std::optional<Region> region;
    if (withRegion && !(region = Region::Read(in)))
        return false;
    Layout layout;
    if (!in.Ok() || !MakeLayout(pm, opcode != 0x90 && opcode != 0x91, layout) ||
        !Plausible(layout, in.Left(), budget))
        return false;
    BitmapRows rows(in, layout, pm.palette);
    if (canvas.TakeStandIn(dst))
        return rows.Finish();
    const Rect& b = pm.bounds;
    Rect inBitmap{src.top - b.top, src.left - b.left, src.bottom - b.top, src.right - b.left};
    return canvas.Compose(rows, layout.width, layout.height, inBitmap, dst, region ? &*region : nullptr, mode,
                          budget) &&
           rows.Finish();
}

bool ReadPixPat(Cursor& in, PixPat& pattern)
{
    uint16_t type = in.U16();
    for (uint8_t& row : pattern.bits)
        row = in.U8();
    pattern.colour.reset();
    if (type == 2) { // an RGB colour, which QuickDraw dithers
        int r = in.U16() >> 8, g = in.U16() >> 8;
        pattern.colour = qRgb(r, g, in.U16() >> 8);
        return in.Ok();
    }
    if (type != 1)
        return in.Ok();
    PixMapInfo pm;
    Layout layout;
    if (!ReadPixMap(in, false, pm) || !MakeLayout(pm, true, layout))
        return false;
    // The pattern stands for its mean colour, taken over its first rows and columns only: a
    // pattern is 8 x 8 as a rule, and one claiming more is not worth unpacking in full.
    BitmapRows rows(in, layout, pm.palette);
    const int32_t h = std::min(layout.height, 16), w = std::min(layout.width, 16);
    int64_t sum[3] = {};
    for (int32_t y = 0; y < h; ++y) {
        const QRgb* row = rows.Row(y);
        if (!row)
            return false;
        for (int32_t x = 0; x < w; ++x)
            sum[0] += qRed(row[x]), sum[1] += qGreen(row[x]), sum[2] += qBlue(row[x]);
    }
    const int64_t n = int64_t(w) * h;
    pattern.colour = qRgb(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n));
    return rows.Finish();
}

QRgb DefaultPaletteColour(int depth, int index)
{
    static const QRgb kSixteen[16] = {0xFFFFFF, 0xFCF305, 0xFF6402, 0xDD0806, 0xF20884, 0x4600A5,
                                      0x0000D4, 0x02ABEA, 0x1FB714, 0x006411, 0x562C05, 0x90713A,
                                      0xC0C0C0, 0x808080, 0x404040, 0x000000};
    static const int kRamp[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
    if (depth == 1)
        return index ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    if (depth == 2)
        return qRgb(255 - index * 85, 255 - index * 85, 255 - index * 85);
    if (depth == 4)
        return 0xFF000000u | kSixteen[index & 15];
    index &= 255;
    if (index < 215) // the 6 x 6 x 6 cube, from white down
        return qRgb((5 - index / 36) * 51, (5 - index / 6 % 6) * 51, (5 - index % 6) * 51);
    if (index == 255)
        return qRgb(0, 0, 0);
    int level = kRamp[(index - 215) % 10];
    switch ((index - 215) / 10) {
    case 0:
        return qRgb(level, 0, 0);
    case 1:
        return qRgb(0, level, 0);
    case 2:
        return qRgb(0, 0, level);
    default:
        return qRgb(level, level, level);
    }
}

} // namespace fw::pictures::pict
