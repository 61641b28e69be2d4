// QuickTime images inside a picture (opcodes 0x8200, compressed, and 0x8201, uncompressed):
// a matrix that places the image, a matte, for 0x8200 a mask region, then an image
// description and the image's data. JPEG, PNG, TIFF, BMP and GIF data go through Qt's readers;
// uncompressed ('raw ') and Animation ('rle ') data are read here.
#include "PictFormat.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace fw::pictures::pict {
namespace {

constexpr uint32_t FourCc(const char (&s)[5])
{
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 |
           uint8_t(s[3]);
}

struct Description {
    uint32_t codec = 0;
    int32_t width = 0, height = 0;
    uint32_t dataSize = 0;
    int depth = 0;
    std::vector<QRgb> palette;
};

// The image description: its size, the codec, the image's size and depth and, when its colour
// table id is 0, the colour table that follows it.
bool ReadDescription(Cursor& in, Description& d)
{
    uint32_t size = in.U32();
    if (size < 86 || size - 4 > in.Left())
        return false;
    Cursor body = in.Take(size - 4);
    d.codec = body.U32();
    body.Skip(4 + 2 + 2 + 2 + 2 + 4 + 4 + 4); // reserved, data reference, version, vendor, qualities
    d.width = body.U16();
    d.height = body.U16();
    body.Skip(8); // resolutions
    d.dataSize = body.U32();
    body.Skip(2 + 32); // frame count, name
    d.depth = body.S16();
    int16_t clutId = body.S16();
    // Depths 33 to 40 are greys of 1 to 8 bits, from white at index 0 down to black.
    const int greyBits = d.depth > 32 && d.depth <= 40 ? d.depth - 32 : 0;
    d.palette.resize(256);
    for (int i = 0; i < 256; ++i) {
        int grey = greyBits ? std::max(0, 255 - i * 255 / ((1 << greyBits) - 1)) : 0;
        d.palette[size_t(i)] = greyBits ? qRgb(grey, grey, grey) : DefaultPaletteColour(d.depth, i);
    }
    if (clutId == 0 && d.depth <= 8 && body.Left() >= 8 && !ReadColourTable(body, d.palette))
        return false;
    return body.Ok() && d.width > 0 && d.height > 0;
}

// Rows of an image Qt decoded.
class ImageRows final : public RowSource {
public:
    explicit ImageRows(const QImage& image) : image_(image) {}
    const QRgb* Row(int32_t y) override { return reinterpret_cast<const QRgb*>(image_.constScanLine(y)); }

private:
    const QImage& image_;
};

// Uncompressed rows, each padded to an even length or to what the data size gives a row.
class RawRows final : public RowSource {
public:
    RawRows(const Description& d, Cursor data) : d_(d), data_(data), colours_(size_t(d.width))
    {
        int bits = d.depth > 32 ? d.depth - 32 : d.depth;
        format_.depth = bits;
        format_.pixels = bits == 16 ? Pixels::Rgb555 : bits == 24 ? Pixels::Rgb24 : bits == 32 ? Pixels::Xrgb
                                                                                          : Pixels::Indexed;
        size_t row = (size_t(d.width) * size_t(bits) + 7) / 8;
        stride_ = std::max(row + (row & 1), size_t(data.Left() / size_t(d.height)));
        valid_ = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    }
    bool Valid() const { return valid_; }
    const QRgb* Row(int32_t y) override
    {
        size_t at = size_t(y) * stride_;
        if (at + stride_ > data_.Left())
            return nullptr;
        ConvertRow(format_, data_.Here() + at, d_.width, d_.palette.data(), colours_.data());
        return colours_.data();
    }

private:
    const Description& d_;
    Cursor data_;
    PixelFormat format_;
    size_t stride_ = 0;
    bool valid_ = false;
    std::vector<QRgb> colours_;
};

// The placement of the image: the part of it that is drawn and where the matrix puts it.
struct Placement {
    Rect src, dst;
};

Placement Place(const int32_t (&matrix)[9], Rect src, int32_t width, int32_t height)
{
    if (src.Empty() || src.left < 0 || src.top < 0 || src.right > width || src.bottom > height)
        src = Rect{0, 0, height, width};
    double a = matrix[0] / 65536.0, d = matrix[4] / 65536.0;
    if (!(a > 0) || !(d > 0))
        a = d = 1;
    const double tx = matrix[6] / 65536.0, ty = matrix[7] / 65536.0;
    auto at = [](double v) { return int32_t(std::clamp(std::lround(v), -32768L, 32767L)); };
    return {src, Rect{at(ty + d * src.top), at(tx + a * src.left), at(ty + d * src.bottom), at(tx + a * src.right)}};
}

const char* QtFormat(uint32_t codec)
{
    switch (codec) {
    case FourCc("jpeg"):
        return "jpeg";
    case FourCc("png "):
        return "png";
    case FourCc("tiff"):
        return "tiff";
    case FourCc("BMPf"):
    case FourCc("bmp "):
    case FourCc("WRLE"): // Windows bitmaps, run-length coded or not
        return "bmp";
    case FourCc("gif "):
        return "gif";
    default:
        return nullptr;
    }
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Windows bitmap data often comes without its file header: the information header, the colour
// table and the pixels. Qt's reader wants the header, whose one fact of its own is where the
// pixels start: after the information header, the bit masks it may call for, and the table.
QByteArray WithBmpFileHeader(QByteArray bytes)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
    if (bytes.size() < 40 || (p[0] == 'B' && p[1] == 'M'))
        return bytes;
    const uint32_t infoSize = Le32(p);
    if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124)
        return bytes;
    const uint32_t bits = uint32_t(p[14] | p[15] << 8), compression = Le32(p + 16), used = Le32(p + 32);
    const uint32_t masks = infoSize == 40 && compression == 3 ? 12 : 0;
    const uint32_t colours = used ? std::min(used, 256u) : bits <= 8 ? 1u << bits : 0;
    const uint32_t offset = 14 + infoSize + masks + colours * 4;
    QByteArray header("BM", 2);
    for (uint32_t v : {uint32_t(bytes.size()) + 14, 0u, offset})
        for (int i = 0; i < 4; ++i)
            header.append(char(v >> (8 * i)));
    return header + bytes;
}

// Data in a format Qt reads. A large image is read at a reduced size when its reader can.
bool DrawWithQt(const char* format, Cursor data, Placement at, const Region* clip, uint16_t mode, Canvas& canvas,
                const Budget& budget)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.Here()), qsizetype(data.Left()));
    if (std::strcmp(format, "bmp") == 0)
        bytes = WithBmpFileHeader(bytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    QSize size = reader.size();
    if (!size.isValid() || int64_t(size.width()) * size.height() > budget.maxPixels)
        return true; // an image that can't be shown leaves the rest of the picture as it is
    QSize footprint = canvas.Footprint(at.dst);
    if (footprint.isEmpty())
        return true; // wholly outside the frame
    double f = std::max(double(footprint.width()) / at.src.Width(), double(footprint.height()) / at.src.Height());
    if (f < 0.5 && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        QSize reduced(std::max(1, int(std::ceil(size.width() * f))), std::max(1, int(std::ceil(size.height() * f))));
        reader.setScaledSize(reduced);
        const double sx = double(reduced.width()) / size.width(), sy = double(reduced.height()) / size.height();
        at.src = Rect{int32_t(at.src.top * sy), int32_t(at.src.left * sx), int32_t(std::ceil(at.src.bottom * sy)),
                      int32_t(std::ceil(at.src.right * sx))};
    }
    QImage image = reader.read();
    if (image.isNull())
        return true;
    image = image.convertToFormat(QImage::Format_RGB32);
    ImageRows rows(image);
    return canvas.Compose(rows, image.width(), image.height(), at.src, at.dst, clip, mode, budget);
}

bool DrawImage(const Description& d, Cursor data, Placement at, const Region* clip, uint16_t mode, Canvas& canvas,
               const Budget& budget)
{
    if (int64_t(d.width) * d.height > budget.maxPixels)
        return true;
    if (const char* format = QtFormat(d.codec))
        return DrawWithQt(format, data, at, clip, mode, canvas, budget);
    if (d.codec == FourCc("raw ")) {
        RawRows rows(d, data);
        return !rows.Valid() || canvas.Compose(rows, d.width, d.height, at.src, at.dst, clip, mode, budget);
    }
    if (d.codec == FourCc("rle ")) {
        std::unique_ptr<RowSource> rows = MakeAnimationRows(d.width, d.height, d.depth, d.palette, data);
        return !rows || canvas.Compose(*rows, d.width, d.height, at.src, at.dst, clip, mode, budget);
    }
    return true; // a codec this reader does not know: the image is left out, the picture goes on
}

// Writers of QuickTime pictures follow the image with what QuickDraw alone should draw instead
// (a frame and the words that QuickTime is needed), behind a pen size opcode whose width is
// 0x00AE and whose height counts the bytes of that stand-in. A reader that drew the image steps
// over it.
void SkipStandIn(Cursor& in)
{
    Cursor peek = in;
    peek.AlignEven(0);
    if (peek.U16() != 0x0007 || peek.U16() != 0x00AE)
        return;
    uint16_t bytes = peek.U16();
    if (peek.Skip(bytes))
        in = peek;
}

} // namespace

bool DrawQuickTimeOp(Cursor& in, uint16_t opcode, Canvas& canvas, const Budget& budget)
{
    uint32_t length = in.U32();
    Cursor op = in.Take(length);
    if (!op.Ok())
        return false;
    op.Skip(2); // version
    int32_t matrix[9];
    for (int32_t& m : matrix)
        m = int32_t(op.U32());
    uint32_t matteSize = op.U32();
    op.Skip(8); // the matte's rectangle
    Rect src;
    uint16_t mode = kSrcCopy;
    uint32_t maskSize = 0;
    if (opcode == 0x8200) {
        mode = op.U16();
        src = ReadRect(op);
        op.Skip(4); // accuracy
        maskSize = op.U32();
    }
    op.Skip(matteSize);
    std::optional<Region> mask;
    if (maskSize > 0) {
        Cursor maskData = op.Take(maskSize);
        mask = Region::Read(maskData);
    }
    Description d;
    if (!op.Ok() || !ReadDescription(op, d))
        return true; // the opcode's length still lets the walk go on past it
    Cursor data = op.Take(d.dataSize > 0 ? std::min<size_t>(d.dataSize, op.Left()) : op.Left());
    const Placement at = Place(matrix, src, d.width, d.height);
    const uint64_t rowsBefore = canvas.RowsComposed();
    if (!DrawImage(d, data, at, mask ? &*mask : nullptr, mode, canvas, budget))
        return false;
    if (canvas.RowsComposed() == rowsBefore)
        return true; // nothing drew, so what follows for readers without QuickTime is all there is
    canvas.MarkStandIn(at.dst);
    SkipStandIn(in);
    return true;
}

} // namespace fw::pictures::pict
