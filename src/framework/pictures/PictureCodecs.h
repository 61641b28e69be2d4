#pragma once
// The decoders behind FolderItem::OpenAsPicture. Each works on the file's bytes as mapped
// read-only (so a large file is never read whole into memory), keeps at most what the largest
// pane can show, and gives up when its budget runs out: a damaged file, a picture beyond the
// bounds or a decode that would keep the window busy too long gives no picture, never a failure.
#include <QImage>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace fw::pictures {

struct Budget {
    int maxSide = 4096;                               // the kept copy's longer side at most
    int64_t maxPixels = 268'435'456;                  // pictures with more pixels give none
    std::chrono::steady_clock::time_point deadline =  // a decode still running then gives up
        std::chrono::steady_clock::time_point::max();
    bool Expired() const { return std::chrono::steady_clock::now() > deadline; }
};

struct DecodedPicture {
    QImage image;       // at most maxSide on its longer side; already turned upright
    int32_t width = 0;  // the picture's own size as shown, after any orientation tag
    int32_t height = 0;
};

struct Bytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// DICOM: the "DICM" mark after the 128-byte preamble, or a bare dataset that parses as one.
bool IsDicom(Bytes file);
std::optional<DecodedPicture> DecodeDicom(Bytes file, const Budget& budget);

// PICT: version 1 or 2, with or without the 512-byte header.
bool IsPict(Bytes file);
std::optional<DecodedPicture> DecodePict(Bytes file, const Budget& budget);

// Any picture, by content: each decoder that claims the file is tried in turn until one gives
// a picture, so a file that carries the marks of two formats (a DICOM file with a TIFF header
// in its preamble) still shows.
std::optional<DecodedPicture> DecodeAny(Bytes file, const Budget& budget);

} // namespace fw::pictures
