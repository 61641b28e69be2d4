// Rows of PICT and QuickTime pixels turned into 32-bit colours.
#include "PictFormat.h"

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

} // namespace fw::pictures::pict
