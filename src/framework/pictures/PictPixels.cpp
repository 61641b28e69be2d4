// Rows of PICT and QuickTime pixels turned into 32-bit colours, and those colours laid on the
// canvas by transfer mode.
#include "PictFormat.h"

#include <algorithm>

namespace fw::pictures::pict {

void ConvertRow(const PixelFormat& format, const uint8_t* p, int32_t w, const QRgb* palette, QRgb* out)
{
    switch (format.pixels) {
    case Pixels::Indexed:
        if (format.depth == 8) {
            for (int32_t x = 0; x < w; ++x)
                out[x] = palette[p[x]];
        } else {
            const int depth = format.depth, perByte = 8 / depth, mask = (1 << depth) - 1;
            for (int32_t x = 0; x < w; ++x) {
                int shift = 8 - depth * (x % perByte + 1);
                out[x] = palette[(p[x / perByte] >> shift) & mask];
            }
        }
        break;
    case Pixels::Rgb555:
        for (int32_t x = 0; x < w; ++x) {
            unsigned v = unsigned(p[2 * x] << 8 | p[2 * x + 1]);
            unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            out[x] = qRgb(int(r << 3 | r >> 2), int(g << 3 | g >> 2), int(b << 3 | b >> 2));
        }
        break;
    case Pixels::Xrgb:
        for (int32_t x = 0; x < w; ++x)
            out[x] = qRgb(p[4 * x + 1], p[4 * x + 2], p[4 * x + 3]);
        break;
    case Pixels::Rgb24:
        for (int32_t x = 0; x < w; ++x)
            out[x] = qRgb(p[3 * x], p[3 * x + 1], p[3 * x + 2]);
        break;
    case Pixels::Planar: {
        // The alpha plane, when there is one, comes first; QuickDraw draws without it.
        const uint8_t* r = p + size_t(format.planes - 3) * size_t(w);
        const uint8_t *g = r + w, *b = g + w;
        for (int32_t x = 0; x < w; ++x)
            out[x] = 0xFF000000u | uint32_t(r[x]) << 16 | uint32_t(g[x]) << 8 | b[x];
        break;
    }
    }
}

uint16_t PlainMode(uint16_t mode)
{
    if (mode & kDitherCopy)
        mode &= uint16_t(~kDitherCopy);
    if (mode >= kPatCopy && mode <= kNotPatBic)
        return mode - kPatCopy;
    if (mode == kTransparent)
        return kSrcOr; // over the default white background the same
    return mode <= kNotSrcBic || (mode >= kBlend && mode <= kAdMin) ? mode : uint16_t(kSrcCopy);
}

namespace {

constexpr QRgb kWhiteRgb = 0xFFFFFFu;

// Each component of two colours through `f`.
template <typename F>
QRgb Components(QRgb s, QRgb d, F f)
{
    return qRgb(f(qRed(s), qRed(d)), f(qGreen(s), qGreen(d)), f(qBlue(s), qBlue(d)));
}

QRgb Arithmetic(uint16_t mode, QRgb s, QRgb d)
{
    switch (mode) {
    case kBlend:
        return Components(s, d, [](int a, int b) { return (a + b + 1) / 2; });
    case kAddPin:
        return Components(s, d, [](int a, int b) { return std::min(255, a + b); });
    case kAddOver:
        return Components(s, d, [](int a, int b) { return (a + b) & 255; });
    case kSubPin:
        return Components(s, d, [](int a, int b) { return std::max(0, b - a); });
    case kSubOver:
        return Components(s, d, [](int a, int b) { return (b - a) & 255; });
    case kAddMax:
        return Components(s, d, [](int a, int b) { return std::max(a, b); });
    default:
        return Components(s, d, [](int a, int b) { return std::min(a, b); });
    }
}

} // namespace

// The boolean modes read a colour as ink the way a bitmap's bits are: black is all ink, white
// none. Or lays the source's ink (in its own colour), Xor inverts the destination under it,
// Bic clears it to white; the not- forms take the source inverted first.
QRgb TransferPixel(uint16_t mode, QRgb source, QRgb dest)
{
    QRgb s = source & kWhiteRgb, d = dest & kWhiteRgb;
    if (mode >= kNotSrcCopy && mode <= kNotSrcBic) {
        s ^= kWhiteRgb;
        mode -= kNotSrcCopy;
    }
    switch (mode) {
    case kSrcCopy:
        return 0xFF000000u | s;
    case kSrcOr:
        return 0xFF000000u | (s == kWhiteRgb ? d : s);
    case kSrcXor:
        return 0xFF000000u | (d ^ (s ^ kWhiteRgb));
    case kSrcBic:
        return 0xFF000000u | (d | (s ^ kWhiteRgb));
    default:
        return 0xFF000000u | Arithmetic(mode, s, d);
    }
}

} // namespace fw::pictures::pict
