#pragma once
// The raster decoders behind FolderItem::OpenAsPicture (JPEG, TIFF and PNG through their own
// libraries, everything else Qt reads through Qt) and what they share: the kept size, a box
// filter that reduces rows as they arrive, and turning a picture upright.
#include "PictureCodecs.h"

#include <QImage>

#include <cstdint>
#include <optional>
#include <vector>

namespace fw::pictures {

bool IsJpeg(Bytes file);
bool IsPng(Bytes file);
bool IsTiff(Bytes file);

std::optional<DecodedPicture> DecodeJpeg(Bytes file, const Budget& budget);
std::optional<DecodedPicture> DecodePng(Bytes file, const Budget& budget);
std::optional<DecodedPicture> DecodeTiff(Bytes file, const Budget& budget);
// GIF, BMP and the other formats Qt's readers know, but those with decoders of their own;
// nothing for what none of them claims.
std::optional<DecodedPicture> DecodeWithQt(Bytes file, const Budget& budget);

// The largest picture, in pixels, that each decoder takes on within the time budget. Beyond
// it, and for a header that claims more pixels than the file could hold, there is no picture.
inline constexpr int64_t kJpegMaxPixels = 250'000'000;
inline constexpr int64_t kPngMaxPixels = 150'000'000;
inline constexpr int64_t kTiffMaxPixels = 150'000'000;
inline constexpr int64_t kQtMaxPixels = 100'000'000;

// True when a picture of this many pixels is within both bounds and a file of this size could
// hold it at the best ratio the compression reaches (pixels per byte).
bool Plausible(int64_t width, int64_t height, size_t fileSize, double maxPixelsPerByte, int64_t formatBound,
               const Budget& budget);

// The size kept of a picture stored at width by height: its own size, or reduced with its
// proportions so that the longer side is maxSide.
struct Size {
    int width = 0;
    int height = 0;
};
Size KeptSize(int width, int height, int maxSide);

// Reduces a picture to the kept size as its pixels arrive, with a box filter: each kept pixel
// is the alpha-weighted mean of the source pixels that fall on it. Rows come in order, each
// whole or in spans (tiles); only the kept rows being filled are held besides the result.
class Reducer {
public:
    // `bandRows`: how many source rows may be open at once (1 for row by row, a tile's height).
    // With a target, the kept rows from firstKeptRow on are written into it (several reducers
    // may share one target, each filling rows of its own), else into an image of its own.
    Reducer(int srcWidth, int srcHeight, Size kept, int bandRows, bool alpha, QImage* target = nullptr,
            int firstKeptRow = 0);
    bool Ok() const { return bits_ != nullptr; }
    // The first source row that falls on a kept row (kept.height gives the source height).
    int FirstSourceRow(int keptRow) const;
    // Pixels of source row y from column x0 on, as QRgb (alpha not premultiplied).
    void AddSpan(int y, int x0, const uint32_t* pixels, int count);
    // Every source row above y has been given in full.
    void RowsDone(int y);
    QImage Take() { return std::move(image_); }

private:
    void Flush(int keptRow);
    uint64_t* Accumulator(int keptRow) { return acc_.data() + size_t(keptRow % ring_) * kept_.width * 4; }

    int srcW_, srcH_;
    Size kept_;
    bool alpha_;
    int ring_ = 2;
    int nextFlush_ = 0;          // the first kept row not yet written
    std::vector<uint32_t> column_; // kept column of each source column
    std::vector<uint32_t> columnCount_;
    std::vector<uint64_t> acc_;  // premultiplied sums per channel, ring_ kept rows
    QImage image_;
    QImage* out_ = nullptr;
    // The target's pixels, taken without detaching: reducers on several threads write rows of
    // one image, and QImage's own row access is not safe for that.
    uchar* bits_ = nullptr;
    qsizetype stride_ = 0;
};

// Turns an image stored under a TIFF/EXIF orientation (1 to 8) upright.
QImage Upright(const QImage& stored, int orientation);
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The orientation an EXIF block (the APP1 payload after "Exif\0\0") holds; 1 without one.
int ExifOrientation(const uint8_t* tiff, size_t size);

// The finished picture: upright, with its own size as shown.
DecodedPicture Finish(QImage stored, int storedWidth, int storedHeight, int orientation);

} // namespace fw::pictures
