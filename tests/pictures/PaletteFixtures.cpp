// GIF and BMP fixtures written byte by byte (Qt writes neither GIF nor the BMP variants), other
// formats through Qt's writers, headers that claim huge sizes, and the fuzzer's seeds.
#include "RasterFixtures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include <tiffio.h>
#include <zlib.h>

namespace fixtures {
namespace {

struct Writer {
    QByteArray bytes;
    void U8(int v) { bytes.append(char(v & 255)); }
    void U16(int v) { U8(v), U8(v >> 8); }
    void U32(uint32_t v) { U16(int(v & 0xFFFF)), U16(int(v >> 16)); }
    void Raw(const char* s, int n) { bytes.append(s, n); }
};

// Up to `entries` colours of the image, and the image with every pixel set to one of them.
std::vector<QRgb> Reduce(QImage& image, int entries)
{
    std::vector<QRgb> palette;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xFF000000u;
            if (std::find(palette.begin(), palette.end(), c) == palette.end() && int(palette.size()) < entries)
                palette.push_back(c);
            image.setPixel(x, y, std::find(palette.begin(), palette.end(), c) == palette.end() ? palette[0] : c);
        }
    return palette;
}

int IndexIn(const std::vector<QRgb>& palette, QRgb c)
{
    return int(std::find(palette.begin(), palette.end(), c | 0xFF000000u) - palette.begin());
}

// GIF image data as 9-bit literal codes with a clear code every 128, which any decoder reads.
void GifPixels(Writer& w, const QImage& image, const std::vector<QRgb>& palette, bool interlaced)
{
    std::vector<int> order;
    if (interlaced) {
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int y = start; y < image.height(); y += step)
                order.push_back(y);
    } else {
        for (int y = 0; y < image.height(); ++y)
            order.push_back(y);
    }
    QByteArray data;
    uint32_t bits = 0;
    int count = 0, sinceClear = 0;
    auto code = [&](int c) {
        bits |= uint32_t(c) << count;
        count += 9;
        while (count >= 8)
            data.append(char(bits & 255)), bits >>= 8, count -= 8;
    };
    code(256);
    for (int y : order)
        for (int x = 0; x < image.width(); ++x) {
            if (++sinceClear == 128)
                code(256), sinceClear = 1;
            code(IndexIn(palette, image.pixel(x, y)));
        }
    code(257);
    if (count > 0)
        data.append(char(bits & 255));
    w.U8(8);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const int n = int(std::min<qsizetype>(255, data.size() - at));
        w.U8(n);
        w.Raw(data.constData() + at, n);
    }
    w.U8(0);
}

void GifFrame(Writer& w, const QImage& image, const std::vector<QRgb>& palette, bool interlaced)
{
    w.Raw("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8); // graphic control: 100 ms, no transparency
    w.U8(0x2C);
    w.U16(0), w.U16(0), w.U16(image.width()), w.U16(image.height());
    w.U8(interlaced ? 0x40 : 0);
    GifPixels(w, image, palette, interlaced);
}

void PutBigEndian32(QByteArray& b, qsizetype at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (24 - 8 * i));
}

} // namespace

Fixture Gif(const QImage& pattern, const GifOptions& o)
{
    QImage shown = pattern.convertToFormat(QImage::Format_ARGB32);
    QImage second = shown.mirrored(true, true);
    std::vector<QRgb> palette = Reduce(shown, 256);
    for (int y = 0; y < second.height(); ++y)
        for (int x = 0; x < second.width(); ++x)
            if (IndexIn(palette, second.pixel(x, y)) >= int(palette.size()))
                second.setPixel(x, y, palette[0]);
    Writer w;
    w.Raw("GIF89a", 6);
    w.U16(shown.width()), w.U16(shown.height());
    w.U8(0xF7), w.U8(0), w.U8(0);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < int(palette.size()) ? palette[size_t(i)] : 0;
        w.U8(qRed(c)), w.U8(qGreen(c)), w.U8(qBlue(c));
    }
    if (o.animated)
        w.Raw("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    GifFrame(w, shown, palette, o.interlaced);
    if (o.animated)
        GifFrame(w, second, palette, false);
    w.U8(0x3B);
    return {"gif", w.bytes, shown, 0};
}

// A BMP's rows, bottom-up unless top-down, padded to four bytes or run-length coded.
QByteArray BmpPixels(const QImage& shown, const std::vector<QRgb>& palette, const BmpOptions& o)
{
    const int width = shown.width(), height = shown.height();
    QByteArray pixels;
    for (int i = 0; i < height; ++i) {
        const int y = o.topDown ? i : height - 1 - i;
        std::vector<int> idx;
        for (int x = 0; x < width; ++x)
            idx.push_back(palette.empty() ? 0 : IndexIn(palette, shown.pixel(x, y)));
        for (int x = 0; o.rle && x < width;) {
            int run = 1;
            while (x + run < width && run < 255 && idx[size_t(x + run)] == idx[size_t(x)])
                ++run;
            pixels.append(char(run));
            pixels.append(char(o.bits == 4 ? idx[size_t(x)] * 17 : idx[size_t(x)]));
            x += run;
        }
        QByteArray row = o.rle ? QByteArray(2, char(0)) : QByteArray(); // RLE: end of line
        for (int x = 0; !o.rle && x < width; ++x) {
            const QRgb c = shown.pixel(x, y);
            if (o.bits >= 24) {
                row.append(char(qBlue(c))), row.append(char(qGreen(c))), row.append(char(qRed(c)));
                if (o.bits == 32)
                    row.append(char(0));
            } else {
                const int perByte = 8 / o.bits, bit = 8 - o.bits * (x % perByte + 1);
                if (x % perByte == 0)
                    row.append(char(0));
                row[row.size() - 1] = char(row[row.size() - 1] | idx[size_t(x)] << bit);
            }
        }
        while (!o.rle && row.size() % 4)
            row.append(char(0));
        pixels.append(row);
    }
    if (o.rle)
        pixels.append("\x00\x01", 2); // end of picture
    return pixels;
}

Fixture Bmp(const QImage& pattern, const BmpOptions& o)
{
    QImage shown = pattern.convertToFormat(QImage::Format_ARGB32);
    const std::vector<QRgb> palette = o.bits <= 8 ? Reduce(shown, 1 << o.bits) : std::vector<QRgb>();
    const int width = shown.width(), height = shown.height();
    const QByteArray pixels = BmpPixels(shown, palette, o);
    Writer w;
    const int offset = 14 + 40 + int(palette.size()) * 4;
    w.Raw("BM", 2);
    w.U32(uint32_t(offset + pixels.size())), w.U32(0), w.U32(uint32_t(offset));
    w.U32(40), w.U32(uint32_t(width)), w.U32(uint32_t(o.topDown ? -height : height));
    w.U16(1), w.U16(o.bits);
    w.U32(!o.rle ? 0 : o.bits == 8 ? 1 : 2);
    w.U32(uint32_t(pixels.size())), w.U32(2835), w.U32(2835), w.U32(uint32_t(palette.size())), w.U32(0);
    for (QRgb c : palette)
        w.U8(qBlue(c)), w.U8(qGreen(c)), w.U8(qRed(c)), w.U8(0);
    w.bytes.append(pixels);
    return {"bmp", w.bytes, shown, 0};
}

Fixture QtWritten(const QImage& shown, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(shown);
    return {format, bytes, shown.convertToFormat(QImage::Format_ARGB32), 0};
}

QByteArray ClaimedSize(const std::string& format, int width, int height)
{
    const QImage small = Pattern(16, 16);
    if (format == "png") {
        QByteArray b = Png(small, {}).bytes;
        PutBigEndian32(b, 16, uint32_t(width)), PutBigEndian32(b, 20, uint32_t(height));
        PutBigEndian32(b, 29, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(b.constData() + 12), 17)));
        return b;
    }
    if (format == "jpeg") {
        QByteArray b = Jpeg(small, {}).bytes;
        const qsizetype sof = b.indexOf("\xFF\xC0");
        b[sof + 5] = char(height >> 8), b[sof + 6] = char(height), b[sof + 7] = char(width >> 8), b[sof + 8] = char(width);
        return b;
    }
    if (format == "gif" || format == "bmp") {
        QByteArray b = format == "gif" ? Gif(small, {}).bytes : Bmp(small, {}).bytes;
        auto put16 = [&](qsizetype at, int v) { b[at] = char(v), b[at + 1] = char(v >> 8); };
        auto put32 = [&](qsizetype at, int v) { put16(at, v), put16(at + 2, v >> 16); };
        if (format == "gif")
            put16(6, width), put16(8, height), put16(13 + 768 + 8 + 5, width), put16(13 + 768 + 8 + 7, height);
        else
            put32(18, width), put32(22, height);
        return b;
    }
    // TIFF: a small LZW picture whose width and length tags are rewritten.
    QByteArray b = Tiff(small, {.compression = COMPRESSION_LZW}).bytes;
    auto u16 = [&](qsizetype at) { return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8; };
    auto put = [&](qsizetype at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + i] = char(v >> (8 * i));
    };
    const qsizetype ifd = qsizetype(u16(4) | u16(6) << 16);
    for (int i = 0; i < u16(ifd); ++i) {
        const qsizetype e = ifd + 2 + i * 12;
        if (u16(e) == TIFFTAG_IMAGEWIDTH || u16(e) == TIFFTAG_IMAGELENGTH)
            put(e + 2, 4, 2), put(e + 8, uint32_t(u16(e) == TIFFTAG_IMAGEWIDTH ? width : height), 4);
    }
    return b;
}

std::vector<Fixture> SeedFixtures()
{
    const QImage p = Pattern(24, 16);
    return {Jpeg(p, {}), Jpeg(p, {.progressive = true, .orientation = 6}), Jpeg(p, {.cmyk = true}),
            Png(p, {.colour = PngColour::Palette, .depth = 4, .transparentColour = true}),
            Png(p, {.colour = PngColour::Rgba, .depth = 16, .interlaced = true}),
            Tiff(p, {.compression = COMPRESSION_LZW, .orientation = 5}),
            Tiff(p, {.colour = TiffColour::Palette, .tiled = true}), Gif(p, {.interlaced = true}),
            Bmp(p, {.bits = 8, .rle = true})};
}

} // namespace fixtures
