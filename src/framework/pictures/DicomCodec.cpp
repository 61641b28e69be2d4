// DICOM pictures through DCMTK's dcmimage: the first frame, in its file's first display window
// (or from its darkest to its brightest value, or at its one level), at most the kept size.
#include "DicomFrameChecks.h"
#include "DicomInput.h"
#include "DicomJpeg2000.h"
#include "PictureCodecs.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmimage/diregist.h> // colour pictures, not only grey ones
#include <dcmtk/dcmimgle/dcmimage.h>
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/dcmjpls/djdecode.h>
#include <dcmtk/oflog/oflog.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace fw::pictures {
namespace {

void PrepareDcmtk()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // DCMTK reports every oddity of a file on the console; a picture it can't show is
        // simply no picture here.
        OFLog::configure(OFLogger::OFF_LOG_LEVEL);
        DJDecoderRegistration::registerCodecs();
        DJLSDecoderRegistration::registerCodecs();
        DcmRLEDecoderRegistration::registerCodecs();
        RegisterJpeg2000Decoder();
    });
}

// The bytes one native frame takes; two samples per pixel for the 4:2:2 colour models.
uint64_t NativeFrameBytes(const FrameFacts& f)
{
    const bool subsampled = f.photometric == "YBR_FULL_422" || f.photometric == "YBR_PARTIAL_422";
    const uint64_t samples = uint64_t(f.rows) * f.columns * (subsampled ? 2 : f.samples);
    return (samples * f.bitsAllocated + 7) / 8;
}

// Turns a file down before anything is decoded: no pixel data (a report, a plan, a waveform),
// a picture beyond the bounds, native pixel data too short for the size it claims, or a first
// frame that DCMTK's decoders would read beyond (a JPEG stream of another size, an RLE header
// that points outside its fragment).
bool FrameFits(DcmDataset& dataset, const Budget& budget)
{
    FrameFacts f;
    DcmElement* element = nullptr;
    if (dataset.findAndGetElement(DCM_PixelData, element, OFFalse).bad() || !element ||
        element->ident() != EVR_PixelData)
        return false;
    if (dataset.findAndGetUint16(DCM_Rows, f.rows).bad() || dataset.findAndGetUint16(DCM_Columns, f.columns).bad() ||
        dataset.findAndGetUint16(DCM_BitsAllocated, f.bitsAllocated).bad())
        return false;
    dataset.findAndGetUint16(DCM_SamplesPerPixel, f.samples);
    dataset.findAndGetOFString(DCM_PhotometricInterpretation, f.photometric);
    dataset.findAndGetSint32(DCM_NumberOfFrames, f.frames);
    if (f.rows == 0 || f.columns == 0 || int64_t(f.rows) * f.columns > budget.maxPixels)
        return false;
    E_TransferSyntax stored = EXS_Unknown;
    const DcmRepresentationParameter* parameter = nullptr;
    auto& pixels = static_cast<DcmPixelData&>(*element);
    pixels.getOriginalRepresentationKey(stored, parameter);
    if (DcmXfer(stored).isEncapsulated())
        return EncapsulatedFrameAgrees(pixels, stored, parameter, f);
    return element->getLengthField() >= NativeFrameBytes(f);
}

// The kept size: the longer side at most maxSide, the proportions kept.
void KeptSize(unsigned long width, unsigned long height, int maxSide, unsigned long& w, unsigned long& h)
{
    const unsigned long longer = std::max(width, height), side = std::max(maxSide, 1);
    w = longer <= side ? width : std::max(1ul, (width * side + longer / 2) / longer);
    h = longer <= side ? height : std::max(1ul, (height * side + longer / 2) / longer);
}

// Grey pictures are shown through the file's first window, or from their darkest to their
// brightest value when it has none (or only unusable ones). A frame of one level (a blank
// page, an all-white field) has no range to stretch: it shows at its level within the range
// its stored bits can hold, so white is white and black is black.
void ChooseWindow(DicomImage& image)
{
    if (!image.isMonochrome() || (image.getWindowCount() > 0 && image.setWindow(0)))
        return;
    double darkest = 0, brightest = 0, lowest = 0, highest = 0;
    if (image.getMinMaxValues(darkest, brightest) && darkest == brightest &&
        image.getMinMaxValues(lowest, highest, 1) && lowest < highest)
        image.setWindow((lowest + highest + 1) / 2, highest - lowest + 1); // lowest black, highest white
    else
        image.setMinMaxWindow(0);
}

// Rows without padding are rendered straight into the picture; others go through DCMTK's own
// buffer, a row at a time. Fresh memory is what a decode pays most for, so it is not doubled
// where it need not be.
QImage ToQImage(DicomImage& image)
{
    const int width = int(image.getWidth()), height = int(image.getHeight());
    const bool grey = image.isMonochrome();
    const size_t line = size_t(width) * (grey ? 1 : 3);
    QImage out(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (out.isNull() || image.getOutputDataSize(8) != line * height)
        return QImage();
    if (size_t(out.bytesPerLine()) == line)
        return image.getOutputData(out.bits(), line * height, 8, 0, 0) ? out : QImage();
    const auto* pixels = static_cast<const uint8_t*>(image.getOutputData(8, 0, 0));
    if (!pixels)
        return QImage();
    for (int y = 0; y < height; ++y)
        std::memcpy(out.scanLine(y), pixels + line * y, line);
    image.deleteOutputData();
    return out;
}

std::optional<DecodedPicture> Render(DicomImage& image, const Budget& budget)
{
    ChooseWindow(image);
    const unsigned long width = image.getWidth(), height = image.getHeight();
    unsigned long keptWidth = 0, keptHeight = 0;
    KeptSize(width, height, budget.maxSide, keptWidth, keptHeight);
    std::unique_ptr<DicomImage> reduced;
    DicomImage* shown = &image;
    if (keptWidth != width || keptHeight != height) {
        reduced.reset(image.createScaledImage(keptWidth, keptHeight, 1 /* averaging */, 0));
        // The reduced copy keeps the window chosen above.
        if (!reduced || reduced->getStatus() != EIS_Normal || budget.Expired())
            return std::nullopt;
        shown = reduced.get();
    }
    QImage picture = ToQImage(*shown);
    if (picture.isNull() || budget.Expired())
        return std::nullopt;
    return DecodedPicture{std::move(picture), int32_t(width), int32_t(height)};
}

} // namespace

bool IsDicom(Bytes file)
{
    if (!file.data)
        return false;
    if (file.size >= 132 && std::memcmp(file.data + 128, "DICM", 4) == 0)
        return true;
    return LooksLikeBareDataset(file.data, file.size);
}

std::optional<DecodedPicture> DecodeDicom(Bytes file, const Budget& budget)
{
    if (!IsDicom(file) || budget.Expired())
        return std::nullopt;
    PrepareDcmtk();
    // DCMTK allocates with plain new: a picture within the bounds that still finds no memory
    // is no picture either.
    try {
        DcmFileFormat format;
        if (!ReadMapped(file.data, file.size, format))
            return std::nullopt;
        DcmDataset& dataset = *format.getDataset();
        if (!FrameFits(dataset, budget) || budget.Expired())
            return std::nullopt;
        // Only the first frame is read and decoded, whatever the number of frames.
        DicomImage image(&dataset, dataset.getOriginalXfer(), CIF_UsePartialAccessToPixelData, 0, 1);
        if (image.getStatus() != EIS_Normal || image.getWidth() == 0 || image.getHeight() == 0 || budget.Expired())
            return std::nullopt;
        return Render(image, budget);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace fw::pictures
