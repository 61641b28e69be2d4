// Any bytes handed to the DICOM decoder give a picture within the budget or none, and never
// crash, hang or read outside the bytes.
#include "framework/pictures/PictureCodecs.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fw::pictures::Bytes bytes{data, size};
    const bool recognised = fw::pictures::IsDicom(bytes);
    fw::pictures::Budget budget;
    budget.maxSide = 64;
    budget.maxPixels = 1 << 20;
    budget.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    const auto picture = fw::pictures::DecodeDicom(bytes, budget);
    if (picture && (!recognised || picture->image.isNull() || picture->width <= 0 || picture->height <= 0 ||
                    picture->image.width() > budget.maxSide || picture->image.height() > budget.maxSide ||
                    int64_t(picture->width) * picture->height > budget.maxPixels))
        __builtin_trap();
    return 0;
}
