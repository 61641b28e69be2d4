// What the raster decoders share: the kept size, the box filter that reduces rows as they
// arrive, and turning a picture upright after its orientation tag.
#include "RasterCodecs.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace fw::pictures {

bool Plausible(int64_t width, int64_t height, size_t fileSize, double maxPixelsPerByte, int64_t formatBound,
               const Budget& budget)
{
    if (width <= 0 || height <= 0)
        return false;
    const int64_t pixels = width * height;
    return pixels <= std::min(formatBound, budget.maxPixels) && double(pixels) <= double(fileSize) * maxPixelsPerByte;
}

Size KeptSize(int width, int height, int maxSide)
{
    const int longer = std::max(width, height);
    if (longer <= maxSide || maxSide <= 0)
        return {width, height};
    const double f = double(maxSide) / longer;
    return {std::max(1, int(std::lround(width * f))), std::max(1, int(std::lround(height * f)))};
}

Reducer::Reducer(int srcWidth, int srcHeight, Size kept, int bandRows, bool alpha, QImage* target, int firstKeptRow)
    : srcW_(srcWidth), srcH_(srcHeight), kept_{std::min(kept.width, srcWidth), std::min(kept.height, srcHeight)},
      alpha_(alpha), nextFlush_(firstKeptRow)
{
    if (srcW_ <= 0 || srcH_ <= 0 || kept_.width <= 0 || kept_.height <= 0)
        return;
    ring_ = int(std::min<int64_t>(int64_t(bandRows) * kept_.height / srcH_ + 2, kept_.height + 1));
    try {
        column_.resize(size_t(srcW_));
        columnCount_.assign(size_t(kept_.width), 0);
        for (int x = 0; x < srcW_; ++x) {
            column_[size_t(x)] = uint32_t(int64_t(x) * kept_.width / srcW_);
            ++columnCount_[column_[size_t(x)]];
        }
        acc_.assign(size_t(ring_) * size_t(kept_.width) * 4, 0);
    } catch (const std::bad_alloc&) {
        return;
    }
    if (target && target->size() == QSize(kept_.width, kept_.height) && target->depth() == 32) {
        out_ = target;
    } else if (!target) {
        image_ = QImage(kept_.width, kept_.height, alpha_ ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        out_ = &image_;
    } else {
        return;
    }
    bits_ = const_cast<uchar*>(out_->constBits()); // the owner detached it; no copy may be made now
    stride_ = out_->bytesPerLine();
}

int Reducer::FirstSourceRow(int keptRow) const
{
    return int((int64_t(keptRow) * srcH_ + kept_.height - 1) / kept_.height);
}

void Reducer::AddSpan(int y, int x0, const uint32_t* pixels, int count)
{
    if (!bits_ || y < 0 || y >= srcH_ || x0 < 0)
        return;
    const int keptRow = int(int64_t(y) * kept_.height / srcH_);
    if (keptRow < nextFlush_)
        return; // a row given again after it was finished
    uint64_t* acc = Accumulator(keptRow);
    const uint32_t* column = column_.data() + x0;
    count = std::min(count, srcW_ - x0);
    if (alpha_) {
        for (int i = 0; i < count; ++i) {
            const uint32_t p = pixels[i], a = p >> 24;
            uint64_t* s = acc + size_t(column[i]) * 4;
            s[0] += ((p >> 16) & 255) * a;
            s[1] += ((p >> 8) & 255) * a;
            s[2] += (p & 255) * a;
            s[3] += a;
        }
    } else {
        for (int i = 0; i < count; ++i) {
            const uint32_t p = pixels[i];
            uint64_t* s = acc + size_t(column[i]) * 4;
            s[0] += (p >> 16) & 255;
            s[1] += (p >> 8) & 255;
            s[2] += p & 255;
        }
    }
}

void Reducer::RowsDone(int y)
{
    while (bits_ && nextFlush_ < kept_.height && FirstSourceRow(nextFlush_ + 1) <= y)
        Flush(nextFlush_++);
}

void Reducer::Flush(int keptRow)
{
    uint64_t* acc = Accumulator(keptRow);
    auto* out = reinterpret_cast<uint32_t*>(bits_ + stride_ * keptRow);
    const uint64_t rows = uint64_t(FirstSourceRow(keptRow + 1) - FirstSourceRow(keptRow));
    for (int x = 0; x < kept_.width; ++x) {
        uint64_t* s = acc + size_t(x) * 4;
        const uint64_t n = std::max<uint64_t>(1, columnCount_[size_t(x)] * rows);
        uint32_t r, g, b, a = 255;
        if (alpha_) {
            // Premultiplied mean: sum(c * a) / (255 n) for the colours, sum(a) / n for alpha.
            const uint64_t d = 255 * n;
            r = uint32_t((s[0] + d / 2) / d), g = uint32_t((s[1] + d / 2) / d), b = uint32_t((s[2] + d / 2) / d);
            a = uint32_t((s[3] + n / 2) / n);
        } else {
            r = uint32_t((s[0] + n / 2) / n), g = uint32_t((s[1] + n / 2) / n), b = uint32_t((s[2] + n / 2) / n);
        }
        out[x] = (a << 24) | (r << 16) | (g << 8) | b;
        s[0] = s[1] = s[2] = s[3] = 0;
    }
}

QImage Upright(const QImage& stored, int orientation)
{
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.mirrored(true, true);
    case 4: return stored.mirrored(false, true);
    case 5: case 6: case 7: case 8: break;
    default: return stored;
    }
    const int W = stored.width(), H = stored.height();
    QImage out(H, W, stored.format());
    if (out.isNull())
        return out;
    for (int oy = 0; oy < W; ++oy) {
        auto* row = reinterpret_cast<uint32_t*>(out.scanLine(oy));
        for (int ox = 0; ox < H; ++ox) {
            // Where the shown pixel (ox, oy) is stored.
            int sx = oy, sy = ox;                             // 5: transposed
            if (orientation == 6)
                sy = H - 1 - ox;                              // turned a quarter clockwise
            else if (orientation == 7)
                sx = W - 1 - oy, sy = H - 1 - ox;             // transversed
            else if (orientation == 8)
                sx = W - 1 - oy;                              // turned a quarter anticlockwise
            row[ox] = reinterpret_cast<const uint32_t*>(stored.constScanLine(sy))[sx];
        }
    }
    return out;
}

int ExifOrientation(const uint8_t* tiff, size_t size)
{
    if (size < 8 || !((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M')))
        return 1;
    const bool little = tiff[0] == 'I';
    auto u16 = [&](size_t at) { return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1]; };
    auto u32 = [&](size_t at) { return little ? uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16
                                              : uint32_t(u16(at)) << 16 | uint32_t(u16(at + 2)); };
    const size_t ifd = u32(4);
    if (ifd > size - 2)
        return 1;
    const size_t entries = size_t(u16(ifd));
    for (size_t i = 0; i < entries && ifd + 2 + i * 12 + 12 <= size; ++i) {
        const size_t e = ifd + 2 + i * 12;
        if (u16(e) == 0x0112 && u16(e + 2) == 3) {
            const int value = u16(e + 8);
            return value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

DecodedPicture Finish(QImage stored, int storedWidth, int storedHeight, int orientation)
{
    DecodedPicture picture;
    picture.image = Upright(stored, orientation);
    const bool swap = SwapsSides(orientation);
    picture.width = swap ? storedHeight : storedWidth;
    picture.height = swap ? storedWidth : storedHeight;
    return picture;
}

} // namespace fw::pictures
