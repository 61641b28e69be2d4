// JPEG, PNG and TIFF fixtures written with the formats' own libraries, for the variants Qt's
// writers can't make.
#include "RasterFixtures.h"

#include <QTemporaryDir>
#include <QTransform>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace fixtures {
namespace {

const QRgb kQuadrants[4] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(40, 60, 210), qRgb(240, 220, 40)};

QRgb Grey(QRgb c, int depth)
{
    const int levels = (1 << depth) - 1;
    const int g = (qGray(c) * levels + 127) / 255 * 255 / levels;
    return qRgba(g, g, g, qAlpha(c));
}

QImage GreyImage(const QImage& image, int depth)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, Grey(out.pixel(x, y), depth));
    return out;
}

// The top left quadrant half transparent, for the formats with an alpha channel.
QImage WithAlpha(const QImage& image)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height() / 2; ++y)
        for (int x = 0; x < out.width() / 2; ++x)
            out.setPixel(x, y, (out.pixel(x, y) & 0xFFFFFF) | 0x80000000u);
    return out;
}

void AppendPng(png_structp png, png_bytep data, size_t size)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), qsizetype(size));
}
void FlushPng(png_structp) {}

// Packs samples of `depth` bits, most significant first; 16-bit samples big-endian.
std::vector<uint8_t> Pack(const std::vector<int>& samples, int depth)
{
    std::vector<uint8_t> out;
    if (depth == 16) {
        for (int s : samples)
            out.insert(out.end(), {uint8_t(s >> 8), uint8_t(s & 255)});
        return out;
    }
    out.assign((samples.size() * size_t(depth) + 7) / 8, 0);
    for (size_t i = 0; i < samples.size(); ++i) {
        const size_t bit = i * size_t(depth);
        out[bit / 8] |= uint8_t(samples[i] << (8 - depth - int(bit % 8)));
    }
    return out;
}

std::vector<QRgb> Palette(const QImage& image, int maxEntries)
{
    std::vector<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::find(colours.begin(), colours.end(), image.pixel(x, y)) == colours.end() &&
                int(colours.size()) < maxEntries)
                colours.push_back(image.pixel(x, y));
    return colours;
}

int IndexOf(const std::vector<QRgb>& palette, QRgb c)
{
    auto it = std::find(palette.begin(), palette.end(), c);
    return it == palette.end() ? 0 : int(it - palette.begin());
}

QByteArray ReadAll(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

QImage Pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, kQuadrants[(y >= height / 2) * 2 + (x >= width / 2)]);
    return image;
}

QImage StoredFor(const QImage& shown, int orientation)
{
    switch (orientation) {
    case 2: return shown.mirrored(true, false);
    case 3: return shown.mirrored(true, true);
    case 4: return shown.mirrored(false, true);
    case 5: return shown.transformed(QTransform(0, 1, 1, 0, 0, 0));
    case 6: return shown.transformed(QTransform().rotate(-90));
    case 7: return shown.transformed(QTransform(0, -1, -1, 0, 0, 0));
    case 8: return shown.transformed(QTransform().rotate(90));
    default: return shown;
    }
}

// One row of RGB as the JPEG fixture's colour space wants it.
void JpegRow(const uint8_t* rgb, int width, const JpegOptions& o, uint8_t* out)
{
    for (int x = 0; x < width; ++x) {
        const uint8_t r = rgb[x * 3], g = rgb[x * 3 + 1], b = rgb[x * 3 + 2];
        if (o.grey) {
            out[x] = uint8_t(qGray(r, g, b));
        } else if (o.cmyk) {
            // Adobe stores 255 - ink: C' = R * 255 / (255 - K), K' = 255 - K.
            const int k = 255 - std::max({r, g, b}), kk = 255 - k;
            auto inverted = [&](int v) { return uint8_t(kk ? v * 255 / kk : 0); };
            uint8_t* p = out + x * 4;
            p[0] = inverted(r), p[1] = inverted(g), p[2] = inverted(b), p[3] = uint8_t(kk);
        } else {
            std::memcpy(out + x * 3, rgb + x * 3, 3);
        }
    }
}

Fixture Jpeg(const QImage& shown, const JpegOptions& o)
{
    const QImage stored = StoredFor(shown, o.orientation).convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(stored.width());
    c.image_height = JDIMENSION(stored.height());
    c.input_components = o.grey ? 1 : o.cmyk ? 4 : 3;
    c.in_color_space = o.grey ? JCS_GRAYSCALE : o.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (o.cmyk)
        jpeg_set_colorspace(&c, JCS_YCCK); // writes the Adobe marker, as Photoshop does
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.progressive)
        jpeg_simple_progression(&c);
    c.restart_in_rows = o.restartRows;
    jpeg_start_compress(&c, TRUE);
    if (o.orientation) {
        const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(o.orientation), 0, 0, 0, 0, 0, 0, 0};
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif, sizeof(exif));
    }
    std::vector<uint8_t> row(size_t(stored.width()) * 4);
    while (c.next_scanline < c.image_height) {
        JpegRow(stored.constScanLine(int(c.next_scanline)), stored.width(), o, row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Fixture f{"jpeg", QByteArray(reinterpret_cast<const char*>(out), qsizetype(size)),
              o.grey ? GreyImage(shown, 8) : shown.convertToFormat(QImage::Format_ARGB32), 24};
    std::free(out);
    return f;
}

// The rows of a PNG fixture, packed at its depth.
std::vector<std::vector<uint8_t>> PngRows(const QImage& shown, const std::vector<QRgb>& palette, const PngOptions& o)
{
    const bool grey = o.colour == PngColour::Grey || o.colour == PngColour::GreyAlpha;
    const bool alpha = o.colour == PngColour::GreyAlpha || o.colour == PngColour::Rgba;
    const int scale = o.depth == 16 ? 257 : 1, levels = (1 << std::min(o.depth, 8)) - 1;
    std::vector<std::vector<uint8_t>> rows;
    for (int y = 0; y < shown.height(); ++y) {
        std::vector<int> samples;
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb c = shown.pixel(x, y);
            if (!palette.empty())
                samples.push_back(IndexOf(palette, c | 0xFF000000u));
            else if (grey)
                samples.push_back(qRed(c) * levels / 255 * scale);
            else
                samples.insert(samples.end(), {qRed(c) * scale, qGreen(c) * scale, qBlue(c) * scale});
            if (alpha)
                samples.push_back(qAlpha(c) * scale);
        }
        rows.push_back(Pack(samples, o.depth));
    }
    return rows;
}

Fixture Png(const QImage& pattern, const PngOptions& o)
{
    const bool grey = o.colour == PngColour::Grey || o.colour == PngColour::GreyAlpha;
    const bool alpha = o.colour == PngColour::GreyAlpha || o.colour == PngColour::Rgba;
    QImage shown = alpha ? WithAlpha(pattern) : pattern.convertToFormat(QImage::Format_ARGB32);
    if (grey)
        shown = GreyImage(shown, o.depth == 16 ? 8 : o.depth);
    std::vector<QRgb> palette;
    if (o.colour == PngColour::Palette) {
        palette = Palette(shown, 1 << o.depth);
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                shown.setPixel(x, y, palette[size_t(IndexOf(palette, shown.pixel(x, y)))]);
    }
    const QRgb clear = shown.pixel(0, 0);
    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, AppendPng, FlushPng);
    const int type[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_RGB,
                        PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(png, info, png_uint_32(shown.width()), png_uint_32(shown.height()), o.depth, type[int(o.colour)],
                 o.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    const int scale = o.depth == 16 ? 257 : 1, levels = (1 << std::min(o.depth, 8)) - 1;
    if (!palette.empty()) {
        std::vector<png_color> entries;
        for (QRgb c : palette)
            entries.push_back({uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c))});
        png_set_PLTE(png, info, entries.data(), int(entries.size()));
    }
    if (o.transparentColour) {
        png_byte alphas[1] = {0};
        png_color_16 colour{};
        colour.gray = png_uint_16(qRed(clear) * levels / 255 * scale);
        colour.red = png_uint_16(qRed(clear) * scale), colour.green = png_uint_16(qGreen(clear) * scale);
        colour.blue = png_uint_16(qBlue(clear) * scale);
        png_set_tRNS(png, info, alphas, 1, &colour); // palette entry 0 is the top left colour
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) == clear)
                    shown.setPixel(x, y, clear & 0xFFFFFF);
    }
    std::vector<std::vector<uint8_t>> rows = PngRows(shown, palette, o);
    std::vector<png_bytep> pointers;
    for (auto& r : rows)
        pointers.push_back(r.data());
    png_write_info(png, info);
    if (o.interlaced)
        png_set_interlace_handling(png);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return {"png", bytes, shown, 2};
}

namespace {

// One page of a TIFF fixture: its tags, and its samples as libtiff takes them.
struct TiffPage {
    const TiffOptions& o;
    QImage image;
    std::vector<QRgb> palette;
    bool grey;
    int spp;

    void Tags(TIFF* t) const
    {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(o.bits));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(o.compression));
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(o.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
        const bool jpeg = o.compression == COMPRESSION_JPEG;
        const int greyKind = o.colour == TiffColour::WhiteIsZero ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, grey ? greyKind : !palette.empty() ? PHOTOMETRIC_PALETTE
                                             : jpeg ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB);
        if (jpeg) {
            TIFFSetField(t, TIFFTAG_JPEGQUALITY, 92);
            if (!grey && palette.empty())
                TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        if (spp == 4) {
            const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
        }
        if (o.orientation)
            TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(o.orientation));
        if (!palette.empty()) {
            std::vector<uint16_t> r(size_t(1) << o.bits), g(r.size()), b(r.size());
            for (size_t i = 0; i < palette.size(); ++i)
                r[i] = uint16_t(qRed(palette[i]) * 257), g[i] = uint16_t(qGreen(palette[i]) * 257),
                b[i] = uint16_t(qBlue(palette[i]) * 257);
            TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
        }
    }

    std::vector<uint8_t> Samples(int y, int x0, int count, int plane) const
    {
        std::vector<int> s;
        const int scale = o.bits == 16 ? 257 : 1, levels = (1 << std::min<int>(o.bits, 8)) - 1;
        const bool inverted = o.colour == TiffColour::WhiteIsZero;
        for (int x = x0; x < x0 + count; ++x) {
            const QRgb c = x < image.width() && y < image.height() ? image.pixel(x, y) : 0;
            const int all[4] = {qRed(c), qGreen(c), qBlue(c), qAlpha(c)};
            for (int k = 0; k < spp; ++k)
                if (!o.separatePlanes || k == plane)
                    s.push_back(!palette.empty() ? IndexOf(palette, c)
                                : grey ? (inverted ? levels - all[0] * levels / 255 : all[0] * levels / 255) * scale
                                       : all[k] * scale);
        }
        std::vector<uint8_t> packed = Pack(s, o.bits);
        if (o.bits == 16) // libtiff takes samples in the machine's order
            for (size_t i = 0; i + 1 < packed.size(); i += 2)
                std::swap(packed[i], packed[i + 1]);
        return packed;
    }

    void Write(TIFF* t) const
    {
        Tags(t);
        const int planes = o.separatePlanes ? spp : 1;
        TIFFSetField(t, o.tiled ? TIFFTAG_TILEWIDTH : TIFFTAG_ROWSPERSTRIP, 16u);
        if (o.tiled)
            TIFFSetField(t, TIFFTAG_TILELENGTH, 16u);
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < image.height(); y += o.tiled ? 16 : 1) {
                if (!o.tiled) {
                    TIFFWriteScanline(t, Samples(y, 0, image.width(), plane).data(), uint32_t(y), uint16_t(plane));
                    continue;
                }
                for (int x = 0; x < image.width(); x += 16) {
                    std::vector<uint8_t> tile;
                    for (int r = y; r < y + 16; ++r) {
                        std::vector<uint8_t> row = Samples(r, x, 16, plane);
                        tile.insert(tile.end(), row.begin(), row.end());
                    }
                    TIFFWriteTile(t, tile.data(), uint32_t(x), uint32_t(y), 0, uint16_t(plane));
                }
            }
        TIFFWriteDirectory(t);
    }
};

} // namespace

Fixture Tiff(const QImage& pattern, const TiffOptions& o)
{
    const bool grey = o.colour == TiffColour::Grey || o.colour == TiffColour::WhiteIsZero;
    const bool alpha = o.colour == TiffColour::Rgba;
    QImage shown = alpha ? WithAlpha(pattern) : pattern.convertToFormat(QImage::Format_ARGB32);
    if (grey)
        shown = GreyImage(shown, o.bits == 16 ? 8 : o.bits);
    const std::vector<QRgb> palette = o.colour == TiffColour::Palette ? Palette(shown, 1 << o.bits) : std::vector<QRgb>();
    const int spp = grey || !palette.empty() ? 1 : alpha ? 4 : 3;
    QTemporaryDir dir;
    const QString path = dir.filePath("f.tif");
    TIFF* t = TIFFOpen(path.toLocal8Bit().constData(), o.bigTiff ? "w8" : "w");
    TiffPage{o, StoredFor(shown, o.orientation), palette, grey, spp}.Write(t);
    if (o.secondPage) // another picture on the next page, which is not the one shown
        TiffPage{o, StoredFor(shown, o.orientation).mirrored(true, true), palette, grey, spp}.Write(t);
    TIFFClose(t);
    return {"tiff", ReadAll(path), shown, o.compression == COMPRESSION_JPEG ? 24 : 2};
}

} // namespace fixtures
