// DICOM pictures through DCMTK's dcmimage: the first frame, in its file's first display window
// (or from its darkest to its brightest value), at most the kept size.
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

struct FrameFacts {
    Uint16 rows = 0, columns = 0, samples = 1, bitsAllocated = 0;
    OFString photometric;
};

// The bytes one native frame takes; two samples per pixel for the 4:2:2 colour models.
uint64_t NativeFrameBytes(const FrameFacts& f)
{
    const bool subsampled = f.photometric == "YBR_FULL_422" || f.photometric == "YBR_PARTIAL_422";
    const uint64_t samples = uint64_t(f.rows) * f.columns * (subsampled ? 2 : f.samples);
    return (samples * f.bitsAllocated + 7) / 8;
}

// The size a JPEG or JPEG-LS frame header states; false when there is none before the scan.
bool JpegFrameSize(const uint8_t* p, size_t n, Uint16& rows, Uint16& columns)
{
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    for (size_t at = 2; at + 4 <= n;) {
        const uint8_t marker = p[at + 1];
        if (p[at] != 0xFF || marker == 0xDA)
            return false;
        if (marker == 0xFF || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) {
            at += marker == 0xFF ? 1 : 2;
            continue;
        }
        const bool frameHeader = (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) ||
                                 marker == 0xF7;
        if (frameHeader) {
            if (at + 9 > n)
                return false;
            rows = Uint16(p[at + 5] << 8 | p[at + 6]);
            columns = Uint16(p[at + 7] << 8 | p[at + 8]);
            return rows != 0; // a height given later (DNL) can't be checked here
        }
        at += 2 + size_t(p[at + 2] << 8 | p[at + 3]);
    }
    return false;
}

// DCMTK's JPEG decoders fill a frame of the size the dataset claims with whatever the stream
// holds, so a stream of another size is turned down before it is decoded.
bool EncapsulatedFrameAgrees(DcmPixelData& pixels, E_TransferSyntax stored, const DcmRepresentationParameter* parameter,
                             const FrameFacts& f)
{
    const bool jpeg = DcmXfer(stored).getJPEGProcess8Bit() != 0 || stored == EXS_JPEGLSLossless || stored == EXS_JPEGLSLossy;
    DcmPixelSequence* sequence = nullptr;
    DcmPixelItem* first = nullptr;
    Uint8* data = nullptr;
    if (!jpeg)
        return true;
    if (pixels.getEncapsulatedRepresentation(stored, parameter, sequence).bad() || !sequence ||
        sequence->getItem(first, 1).bad() || !first || first->getUint8Array(data).bad() || !data)
        return false;
    Uint16 rows = 0, columns = 0;
    return !JpegFrameSize(data, first->getLength(), rows, columns) || (rows == f.rows && columns == f.columns);
}

// Turns a file down before anything is decoded: no pixel data (a report, a plan, a waveform),
// a picture beyond the bounds, native pixel data too short for the size it claims, or a JPEG
// stream of another size.
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
// brightest value when it has none (or only unusable ones).
void ChooseWindow(DicomImage& image)
{
    if (!image.isMonochrome())
        return;
    if (image.getWindowCount() == 0 || !image.setWindow(0))
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
