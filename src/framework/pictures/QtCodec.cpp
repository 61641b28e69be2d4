// GIF, BMP and every other format Qt's image readers know, read from the mapped bytes without a
// copy. Qt decodes these whole, so their pixel bound is tighter; the result is reduced after.
#include "RasterCodecs.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdlib>

namespace fw::pictures {
namespace {

// GIF's LZW codes stand for at most about 3000 pixels a byte; BMP's run lengths for 128.
double PixelsPerByte(const QByteArray& format)
{
    if (format == "gif")
        return 3000;
    if (format == "bmp" || format == "dib")
        return 128;
    return 1100;
}

uint32_t Le(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// Qt's GIF and BMP readers show what they got of a cut-off file; here a file must hold all of
// the picture it announces. A BMP: its rows, or the coded size a compressed one declares.
bool BmpComplete(Bytes file)
{
    if (file.size < 54 || Le(file.data + 14, 4) < 40)
        return file.size >= 26; // the old OS/2 header: Qt's reader checks what there is
    const uint64_t offset = Le(file.data + 10, 4), width = Le(file.data + 18, 4), bits = Le(file.data + 28, 2);
    const int32_t height = int32_t(Le(file.data + 22, 4));
    const uint32_t compression = Le(file.data + 30, 4), coded = Le(file.data + 34, 4);
    const uint64_t rows = uint64_t(height < 0 ? -int64_t(height) : height);
    const uint64_t needed = compression == 0 ? (width * bits + 31) / 32 * 4 * rows : coded;
    return offset + needed <= file.size;
}

// A GIF: every block up to the end of the first picture's data.
bool GifComplete(Bytes file)
{
    const uint8_t* d = file.data;
    size_t at = 13;
    if (file.size < at)
        return false;
    if (d[10] & 0x80)
        at += size_t(3) << ((d[10] & 7) + 1);
    auto skipBlocks = [&] {
        while (at < file.size && d[at] != 0)
            at += size_t(d[at]) + 1;
        return at++ < file.size;
    };
    while (at < file.size) {
        if (d[at] == 0x21) { // an extension: its label, then data blocks
            at += 2;
            if (!skipBlocks())
                return false;
        } else if (d[at] == 0x2C) {
            if (at + 10 > file.size)
                return false;
            const uint8_t flags = d[at + 9];
            at += 10 + ((flags & 0x80) ? size_t(3) << ((flags & 7) + 1) : 0) + 1; // and the code size
            return at <= file.size && skipBlocks();
        } else {
            return false;
        }
    }
    return false;
}

// Feeds a decoded image through the box filter a band of rows at a time, so a converted copy
// of the whole picture is never made.
QImage Reduce(const QImage& image, Size kept)
{
    const bool alpha = image.hasAlphaChannel();
    if (image.size() == QSize(kept.width, kept.height))
        return image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    constexpr int kBand = 64;
    Reducer reducer(image.width(), image.height(), kept, kBand, alpha);
    if (!reducer.Ok())
        return QImage();
    for (int y = 0; y < image.height(); y += kBand) {
        const int rows = std::min(kBand, image.height() - y);
        const QImage band = image.copy(0, y, image.width(), rows).convertToFormat(QImage::Format_ARGB32);
        if (band.isNull())
            return QImage();
        for (int r = 0; r < rows; ++r)
            reducer.AddSpan(y + r, 0, reinterpret_cast<const uint32_t*>(band.constScanLine(r)), image.width());
        reducer.RowsDone(y + rows);
    }
    return reducer.Take();
}

} // namespace

std::optional<DecodedPicture> DecodeWithQt(Bytes file, const Budget& budget)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data), qsizetype(file.size));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    if (!reader.canRead())
        return std::nullopt;
    const QByteArray format = reader.format();
    if (format == "jpeg" || format == "png" || format == "tiff")
        return std::nullopt; // read by decoders of their own, which have already had their say
    if ((format == "bmp" && !BmpComplete(file)) || (format == "gif" && !GifComplete(file)))
        return std::nullopt;
    // Qt's BMP reader gives a top-down picture's height as stored, negative.
    const QSize claimed = reader.size();
    const QSize size(std::abs(claimed.width()), std::abs(claimed.height()));
    if (!claimed.isValid() && !(claimed.width() > 0 && claimed.height() < 0))
        return std::nullopt;
    if (!Plausible(size.width(), size.height(), file.size, PixelsPerByte(format), kQtMaxPixels, budget))
        return std::nullopt;
    const Size kept = KeptSize(size.width(), size.height(), budget.maxSide);
    if (reader.supportsOption(QImageIOHandler::ScaledSize) && (kept.width < size.width() || kept.height < size.height()))
        reader.setScaledSize(QSize(kept.width, kept.height));
    QImageReader::setAllocationLimit(int(kQtMaxPixels * 4 / (1 << 20)) + 64);
    const QImage image = reader.read();
    if (image.isNull() || budget.Expired())
        return std::nullopt;
    QImage stored = Reduce(image, KeptSize(image.width(), image.height(), budget.maxSide));
    if (stored.isNull())
        return std::nullopt;
    return Finish(std::move(stored), size.width(), size.height(), 1);
}

} // namespace fw::pictures
