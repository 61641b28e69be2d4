// TIFF through libtiff over the mapped file, first page only, reduced as it goes. Plain 8- and
// 16-bit grey and RGB strips (the common case, and the large one) are read scanline by scanline
// and converted here; everything else (tiles, palettes, bit depths below 8, CMYK, YCbCr, planes
// stored apart) goes through libtiff's RGBA reader a band of strips or tiles at a time.
#include "RasterCodecs.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include <tiffio.h>

namespace fw::pictures {
namespace {

constexpr tmsize_t kTiffMaxAllocation = 256 << 20; // one strip, tile or band at most
constexpr int64_t kMaxBandBytes = 128 << 20;
constexpr int64_t kPixelsPerThread = 4'000'000; // smaller pictures are read on one thread
constexpr int kMaxThreads = 4;

struct TiffSource {
    Bytes file;
    toff_t at = 0;
};

tsize_t ReadTiff(thandle_t h, tdata_t out, tsize_t count)
{
    auto* s = static_cast<TiffSource*>(h);
    if (count < 0 || s->at > s->file.size)
        return -1;
    const size_t n = std::min<size_t>(size_t(count), s->file.size - s->at);
    std::memcpy(out, s->file.data + s->at, n);
    s->at += n;
    return tsize_t(n);
}
tsize_t WriteTiff(thandle_t, tdata_t, tsize_t) { return -1; }
toff_t SeekTiff(thandle_t h, toff_t offset, int whence)
{
    auto* s = static_cast<TiffSource*>(h);
    const toff_t base = whence == SEEK_CUR ? s->at : whence == SEEK_END ? s->file.size : 0;
    if (offset > toff_t(INT64_MAX) - base)
        return toff_t(-1);
    s->at = base + offset;
    return s->at;
}
int CloseTiff(thandle_t) { return 0; }
toff_t SizeTiff(thandle_t h) { return static_cast<TiffSource*>(h)->file.size; }
int MapTiff(thandle_t h, tdata_t* base, toff_t* size)
{
    auto* s = static_cast<TiffSource*>(h);
    *base = const_cast<uint8_t*>(s->file.data);
    *size = s->file.size;
    return 1;
}
void UnmapTiff(thandle_t, tdata_t, toff_t) {}
int QuietTiff(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr OpenTiff(TiffSource& source)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kTiffMaxAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, QuietTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, QuietTiff, nullptr);
    TIFF* tif = TIFFClientOpenExt("picture", "r", &source, ReadTiff, WriteTiff, SeekTiff, CloseTiff, SizeTiff,
                                  MapTiff, UnmapTiff, options);
    TIFFOpenOptionsFree(options);
    return TiffPtr(tif);
}

// The most pixels a byte of the file can stand for under each compression.
double PixelsPerByte(uint16_t compression, int bitsPerPixel)
{
    double byteRatio;
    switch (compression) {
    case COMPRESSION_NONE: byteRatio = 1; break;
    case COMPRESSION_PACKBITS: byteRatio = 64; break;
    case COMPRESSION_ADOBE_DEFLATE: case COMPRESSION_DEFLATE: byteRatio = 1032; break;
    case COMPRESSION_JPEG: case COMPRESSION_OJPEG: return 512;
    case COMPRESSION_CCITTRLE: case COMPRESSION_CCITTFAX3: case COMPRESSION_CCITTFAX4: return 8192;
    default: byteRatio = 3000; break; // LZW's longest strings, and the rest
    }
    return byteRatio * 8 / std::max(bitsPerPixel, 1);
}

struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 0, photometric = 0, planar = 0, format = 0, compression = 0, orientation = 1;
    uint32_t rowsPerStrip = 0;
    uint16_t extraCount = 0;
    const uint16_t* extra = nullptr;
    bool AlphaFirstExtra() const
    {
        return extraCount > 0 && (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
    }
};

Layout ReadLayout(TIFF* tif)
{
    Layout l;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &l.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &l.orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &l.rowsPerStrip);
    l.rowsPerStrip = std::clamp<uint32_t>(l.rowsPerStrip, 1, std::max<uint32_t>(l.height, 1));
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &l.extraCount, &l.extra);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric))
        l.photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (l.orientation < 1 || l.orientation > 8)
        l.orientation = 1;
    return l;
}

// Grey or RGB, 8 or 16 bits, one plane, in strips, with at most an alpha beside the colours.
bool Plain(TIFF* tif, const Layout& l)
{
    const bool grey = l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE;
    const int colours = grey ? 1 : l.photometric == PHOTOMETRIC_RGB ? 3 : 0;
    return !TIFFIsTiled(tif) && colours > 0 && (l.bits == 8 || l.bits == 16) && l.format == SAMPLEFORMAT_UINT &&
           (l.planar == PLANARCONFIG_CONTIG || l.samples == 1) && l.samples >= colours && l.samples <= colours + 1 + 3;
}

void ConvertPlainRow(const Layout& l, const uint8_t* in, uint32_t* out)
{
    const bool grey = l.photometric != PHOTOMETRIC_RGB, invert = l.photometric == PHOTOMETRIC_MINISWHITE;
    const int colours = grey ? 1 : 3;
    const bool alpha = l.samples > colours && l.AlphaFirstExtra();
    const bool associated = alpha && l.extra[0] == EXTRASAMPLE_ASSOCALPHA;
    const int step = l.samples, wide = l.bits == 16;
    auto sample = [&](uint32_t i) -> uint32_t {
        return wide ? reinterpret_cast<const uint16_t*>(in)[i] >> 8 : in[i];
    };
    for (uint32_t x = 0; x < l.width; ++x) {
        const uint32_t at = x * uint32_t(step);
        uint32_t r = sample(at), g = grey ? r : sample(at + 1), b = grey ? r : sample(at + 2);
        if (invert)
            r = g = b = 255 - r;
        const uint32_t a = alpha ? sample(at + uint32_t(colours)) : 255;
        if (associated && a > 0 && a < 255)
            r = std::min(255u, r * 255 / a), g = std::min(255u, g * 255 / a), b = std::min(255u, b * 255 / a);
        out[x] = a << 24 | r << 16 | g << 8 | b;
    }
}

// One share of the kept rows, on a handle of its own: the strips under them are decoded
// scanline by scanline, a strip cut by the share's first row from its start, since most
// compressions can't begin in the middle of a strip (the reducer passes over the rows above
// the share).
bool ReadPlainRows(Bytes file, const Layout& l, Size kept, QImage& target, int firstKept, int endKept,
                   const Budget& budget, const std::atomic<bool>& failed)
{
    TiffSource source{file};
    TiffPtr tif = OpenTiff(source);
    if (!tif)
        return false;
    const bool alpha = target.hasAlphaChannel();
    Reducer reducer(int(l.width), int(l.height), kept, 1, alpha, &target, firstKept);
    std::vector<uint8_t> line(size_t(TIFFScanlineSize64(tif.get())));
    std::vector<uint32_t> row(l.width);
    if (!reducer.Ok() || line.size() < size_t(l.width) * l.samples * (l.bits / 8))
        return false;
    const int first = reducer.FirstSourceRow(firstKept), end = reducer.FirstSourceRow(endKept);
    for (int y = first - first % int(l.rowsPerStrip); y < end; ++y) {
        if (failed || budget.Expired() || TIFFReadScanline(tif.get(), line.data(), uint32_t(y), 0) < 0)
            return false;
        ConvertPlainRow(l, line.data(), row.data());
        reducer.AddSpan(y, 0, row.data(), int(l.width));
        reducer.RowsDone(y + 1);
    }
    return true;
}

// Strips decode independently, so a large picture is shared out among a few threads.
std::optional<QImage> ReadPlain(Bytes file, const Layout& l, Size kept, const Budget& budget)
{
    const bool alpha = l.samples > (l.photometric == PHOTOMETRIC_RGB ? 3 : 1) && l.AlphaFirstExtra();
    QImage image(kept.width, kept.height, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    image.bits(); // detached here, before the threads write their rows
    const int64_t pixels = int64_t(l.width) * l.height;
    const int strips = int((l.height + l.rowsPerStrip - 1) / l.rowsPerStrip);
    const int shares = pixels < kPixelsPerThread ? 1
                       : std::clamp(int(std::thread::hardware_concurrency()), 1,
                                    std::min({kMaxThreads, kept.height, std::max(1, strips / 8)}));
    std::atomic<bool> failed{false};
    auto share = [&](int k) {
        if (!ReadPlainRows(file, l, kept, image, kept.height * k / shares, kept.height * (k + 1) / shares, budget,
                           failed))
            failed = true;
    };
    std::vector<std::thread> threads;
    try {
        threads.reserve(size_t(shares));
        for (int k = 1; k < shares; ++k)
            threads.emplace_back(share, k);
    } catch (const std::exception&) {
        failed = true; // no thread to be had: the ones started see it and stop
    }
    if (!failed)
        share(0);
    for (std::thread& t : threads)
        t.join();
    if (failed)
        return std::nullopt;
    return image;
}

// libtiff's RGBA pixels are R, G, B, A in memory with the alpha premultiplied.
void RgbaToQRgb(const uint32_t* in, uint32_t* out, uint32_t count, bool alpha)
{
    for (uint32_t x = 0; x < count; ++x) {
        const uint32_t p = in[x];
        uint32_t q = (p & 0xFF00FF00u) | (p & 0xFF) << 16 | ((p >> 16) & 0xFF);
        out[x] = alpha ? qUnpremultiply(q) : q;
    }
}

struct RgbaImage {
    TIFFRGBAImage img{};
    bool begun = false;
    ~RgbaImage()
    {
        if (begun)
            TIFFRGBAImageEnd(&img);
    }
};

std::optional<QImage> ReadRgba(TIFF* tif, const Layout& l, Size kept, const Budget& budget)
{
    char message[1024] = {};
    RgbaImage rgba;
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&rgba.img, tif, 0, message))
        return std::nullopt;
    rgba.begun = true;
    rgba.img.req_orientation = rgba.img.orientation; // rows as stored; Finish turns them
    uint32_t band = 0;
    if (TIFFIsTiled(tif))
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
    band = std::clamp<uint32_t>(band, 1, l.height);
    if (int64_t(band) * l.width * 4 > kMaxBandBytes)
        band = uint32_t(std::max<int64_t>(1, kMaxBandBytes / (int64_t(l.width) * 4)));
    const bool alpha = rgba.img.alpha != 0;
    Reducer reducer(int(l.width), int(l.height), kept, int(band), alpha);
    std::vector<uint32_t> raster(size_t(band) * l.width), row(l.width);
    if (!reducer.Ok())
        return std::nullopt;
    for (uint32_t y = 0; y < l.height; y += band) {
        const uint32_t rows = std::min(band, l.height - y);
        rgba.img.row_offset = int(y);
        rgba.img.col_offset = 0;
        if (budget.Expired() || !TIFFRGBAImageGet(&rgba.img, raster.data(), l.width, rows))
            return std::nullopt;
        for (uint32_t r = 0; r < rows; ++r) {
            RgbaToQRgb(raster.data() + size_t(r) * l.width, row.data(), l.width, alpha);
            reducer.AddSpan(int(y + r), 0, row.data(), int(l.width));
        }
        reducer.RowsDone(int(y + rows));
    }
    return reducer.Take();
}

} // namespace

bool IsTiff(Bytes file)
{
    if (file.size < 8)
        return false;
    const uint8_t* d = file.data;
    return (d[0] == 'I' && d[1] == 'I' && (d[2] == 42 || d[2] == 43) && d[3] == 0) ||
           (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && (d[3] == 42 || d[3] == 43));
}

std::optional<DecodedPicture> DecodeTiff(Bytes file, const Budget& budget)
{
    TiffSource source{file};
    TiffPtr tif = OpenTiff(source);
    if (!tif)
        return std::nullopt;
    const Layout l = ReadLayout(tif.get());
    if (l.width > uint32_t(INT32_MAX) || l.height > uint32_t(INT32_MAX) || l.samples == 0 || l.bits == 0)
        return std::nullopt;
    if (!Plausible(l.width, l.height, file.size, PixelsPerByte(l.compression, l.bits * l.samples), kTiffMaxPixels,
                   budget))
        return std::nullopt;
    const Size kept = KeptSize(int(l.width), int(l.height), budget.maxSide);
    std::optional<QImage> stored =
        Plain(tif.get(), l) ? ReadPlain(file, l, kept, budget) : ReadRgba(tif.get(), l, kept, budget);
    if (!stored || stored->isNull())
        return std::nullopt;
    return Finish(std::move(*stored), int(l.width), int(l.height), l.orientation);
}

} // namespace fw::pictures
