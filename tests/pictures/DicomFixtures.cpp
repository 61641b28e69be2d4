// DICOM fixtures: the pattern's samples, the dataset around them, and the encodings.
#include "pictures/DicomFixtures.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcrleerg.h>
#include <dcmtk/dcmdata/dcrlerp.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/dcmjpeg/djrplol.h>
#include <dcmtk/dcmjpeg/djrploss.h>
#include <dcmtk/dcmjpls/djencode.h>
#include <dcmtk/dcmjpls/djrparam.h>
#include <dcmtk/oflog/oflog.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace dicom_fixtures {
namespace {

using Planes = std::vector<std::vector<int64_t>>; // per component, row by row

int64_t Lowest(const Fixture& f) { return f.isSigned ? -(int64_t(1) << (f.bitsStored - 1)) : 0; }
int64_t Highest(const Fixture& f)
{
    return f.isSigned ? (int64_t(1) << (f.bitsStored - 1)) - 1 : (int64_t(1) << f.bitsStored) - 1;
}

double Ramp(const Fixture& f, double x, double y) { return 0.75 * x / (f.width - 1) + 0.25 * y / (f.height - 1); }
bool Checker(double x, double y) { return (int(x) / 4 + int(y) / 4) % 2 == 1; }
int PaletteIndex(double x, double y) { return (int(x) * 5 + int(y) * 11) % 256; }
Rgb PaletteColour(int i) { return Rgb{i, 255 - i, (i * 3) % 256}; }
Rgb RampColour(const Fixture& f, double x, double y)
{
    const int r = int(std::lround(255.0 * x / (f.width - 1))), g = int(std::lround(255.0 * y / (f.height - 1)));
    return Rgb{r, g, 255 - r};
}

bool IsColour(const Fixture& f) { return f.photometric != "MONOCHROME1" && f.photometric != "MONOCHROME2" && f.photometric != "PALETTE COLOR"; }

// The samples of one frame as they are stored, before any encoding.
Planes FrameSamples(const Fixture& f, int frame)
{
    const bool inverse = frame > 0;
    Planes planes(IsColour(f) ? 3 : 1, std::vector<int64_t>(size_t(f.width) * f.height));
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            const size_t i = size_t(y) * f.width + x;
            if (f.photometric == "PALETTE COLOR") {
                const int index = PaletteIndex(x, y);
                planes[0][i] = inverse ? 255 - index : index;
            } else if (IsColour(f)) {
                Rgb c = RampColour(f, x, y);
                if (inverse)
                    c = Rgb{255 - c.r, 255 - c.g, 255 - c.b};
                const bool ybr = f.photometric.rfind("YBR_FULL", 0) == 0 || !f.colourTransform;
                planes[0][i] = ybr ? std::lround(0.299 * c.r + 0.587 * c.g + 0.114 * c.b) : c.r;
                planes[1][i] = ybr ? std::lround(-0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b + 128) : c.g;
                planes[2][i] = ybr ? std::lround(0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b + 128) : c.b;
                for (auto& p : planes)
                    p[i] = std::clamp<int64_t>(p[i], 0, 255);
            } else if (f.uniform >= 0) {
                planes[0][i] = f.uniform;
            } else if (f.bitsStored == 1) {
                planes[0][i] = Checker(x, y) != inverse;
            } else {
                const double t = inverse ? 1 - Ramp(f, x, y) : Ramp(f, x, y);
                planes[0][i] = Lowest(f) + std::llround(t * double(Highest(f) - Lowest(f)));
            }
        }
    return planes;
}

// The samples laid out as native pixel data: little endian, interleaved or by plane, the
// 4:2:2 models with one pair of colour differences for two pixels, single bits packed.
void AppendSample(std::vector<uint8_t>& out, const Fixture& f, int64_t value)
{
    for (int byte = 0; byte < f.bitsAllocated / 8; ++byte)
        out.push_back(uint8_t(uint64_t(value) >> (8 * byte)));
}

void AppendFrame(std::vector<uint8_t>& out, const Fixture& f, const Planes& p)
{
    const size_t pixels = p[0].size();
    if (f.bitsAllocated == 1) {
        std::vector<uint8_t> bits((pixels + 7) / 8);
        for (size_t i = 0; i < pixels; ++i)
            bits[i / 8] |= uint8_t(p[0][i] << (i % 8));
        out.insert(out.end(), bits.begin(), bits.end());
    } else if (f.photometric == "YBR_FULL_422") {
        for (size_t i = 0; i + 1 < pixels; i += 2) {
            AppendSample(out, f, p[0][i]);
            AppendSample(out, f, p[0][i + 1]);
            AppendSample(out, f, (p[1][i] + p[1][i + 1]) / 2);
            AppendSample(out, f, (p[2][i] + p[2][i + 1]) / 2);
        }
    } else if (f.planar == 1) {
        for (const auto& plane : p)
            for (int64_t v : plane)
                AppendSample(out, f, v);
    } else {
        for (size_t i = 0; i < pixels; ++i)
            for (const auto& plane : p)
                AppendSample(out, f, plane[i]);
    }
}

std::string Decimal(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

void PutCommon(DcmDataset& d, const char* sopClass, const char* modality)
{
    char uid[100];
    d.putAndInsertString(DCM_SOPClassUID, sopClass);
    d.putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
    d.putAndInsertString(DCM_StudyInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_STUDY_UID_ROOT));
    d.putAndInsertString(DCM_SeriesInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT));
    d.putAndInsertString(DCM_Modality, modality);
    d.putAndInsertString(DCM_PatientName, "Pattern^Test");
}

void PutPalette(DcmDataset& d)
{
    const DcmTagKey descriptors[] = {DCM_RedPaletteColorLookupTableDescriptor,
                                     DCM_GreenPaletteColorLookupTableDescriptor,
                                     DCM_BluePaletteColorLookupTableDescriptor};
    const DcmTagKey tables[] = {DCM_RedPaletteColorLookupTableData, DCM_GreenPaletteColorLookupTableData,
                                DCM_BluePaletteColorLookupTableData};
    for (int c = 0; c < 3; ++c) {
        std::vector<Uint16> table(256);
        for (int i = 0; i < 256; ++i) {
            const Rgb colour = PaletteColour(i);
            table[size_t(i)] = Uint16((c == 0 ? colour.r : c == 1 ? colour.g : colour.b) * 257);
        }
        const Uint16 descriptor[] = {256, 0, 16}; // entries, first index, bits per entry
        d.putAndInsertUint16Array(descriptors[c], descriptor, 3);
        d.putAndInsertUint16Array(tables[c], table.data(), 256);
    }
}

void PutImageModule(DcmDataset& d, const Fixture& f)
{
    const bool colour = IsColour(f);
    d.putAndInsertUint16(DCM_SamplesPerPixel, colour ? 3 : 1);
    d.putAndInsertString(DCM_PhotometricInterpretation, f.photometric.c_str());
    d.putAndInsertUint16(DCM_Rows, Uint16(f.height));
    d.putAndInsertUint16(DCM_Columns, Uint16(f.width));
    d.putAndInsertUint16(DCM_BitsAllocated, Uint16(f.bitsAllocated));
    d.putAndInsertUint16(DCM_BitsStored, Uint16(f.bitsStored));
    d.putAndInsertUint16(DCM_HighBit, Uint16(f.bitsStored - 1));
    d.putAndInsertUint16(DCM_PixelRepresentation, f.isSigned ? 1 : 0);
    if (colour)
        d.putAndInsertUint16(DCM_PlanarConfiguration, Uint16(f.planar));
    if (f.frames > 1)
        d.putAndInsertString(DCM_NumberOfFrames, std::to_string(f.frames).c_str());
    if (f.slope != 1 || f.intercept != 0) {
        d.putAndInsertString(DCM_RescaleSlope, Decimal(f.slope).c_str());
        d.putAndInsertString(DCM_RescaleIntercept, Decimal(f.intercept).c_str());
    }
    if (f.window) {
        const double lo = f.slope * double(Lowest(f)) + f.intercept, hi = f.slope * double(Highest(f)) + f.intercept;
        d.putAndInsertString(DCM_WindowCenter, Decimal((lo + hi) / 2).c_str());
        d.putAndInsertString(DCM_WindowWidth, Decimal((hi - lo) / 2).c_str());
    }
    if (f.photometric == "PALETTE COLOR")
        PutPalette(d);
}

bool PutNativePixels(DcmDataset& d, const Fixture& f)
{
    std::vector<uint8_t> bytes;
    for (int frame = 0; frame < f.frames; ++frame)
        AppendFrame(bytes, f, FrameSamples(f, frame));
    if (bytes.size() % 2)
        bytes.push_back(0);
    if (f.bitsAllocated <= 8)
        return d.putAndInsertUint8Array(DCM_PixelData, bytes.data(), Uint32(bytes.size())).good();
    std::vector<Uint16> words(bytes.size() / 2);
    std::memcpy(words.data(), bytes.data(), bytes.size()); // this machine is little endian
    return d.putAndInsertUint16Array(DCM_PixelData, words.data(), Uint32(words.size())).good();
}

bool PutJpeg2000Pixels(DcmDataset& d, const Fixture& f)
{
    auto* sequence = new DcmPixelSequence(DCM_PixelSequenceTag);
    sequence->insert(new DcmPixelItem(DCM_PixelItemTag)); // an empty offset table
    for (int frame = 0; frame < f.frames; ++frame) {
        std::vector<std::vector<int32_t>> components;
        for (const auto& plane : FrameSamples(f, frame))
            components.emplace_back(plane.begin(), plane.end());
        std::string stream = EncodeJpeg2000(components, f.width, f.height, f.bitsStored, f.isSigned,
                                            f.encoding == Encoding::Jpeg2000Lossy, f.colourTransform);
        if (stream.empty()) {
            delete sequence;
            return false;
        }
        if (stream.size() % 2)
            stream.push_back('\0');
        const size_t fragmentSize = (stream.size() / f.fragmentsPerFrame + 1) & ~size_t(1);
        for (size_t at = 0; at < stream.size(); at += fragmentSize) {
            auto* fragment = new DcmPixelItem(DCM_PixelItemTag);
            const size_t length = std::min(fragmentSize, stream.size() - at);
            fragment->putUint8Array(reinterpret_cast<const Uint8*>(stream.data() + at), Uint32(length));
            sequence->insert(fragment);
        }
    }
    auto* pixels = new DcmPixelData(DCM_PixelData);
    const E_TransferSyntax xfer = f.encoding == Encoding::Jpeg2000Lossy ? EXS_JPEG2000 : EXS_JPEG2000LosslessOnly;
    pixels->putOriginalRepresentation(xfer, nullptr, sequence);
    return d.insert(pixels, true).good();
}

void RegisterEncoders()
{
    static std::once_flag once;
    std::call_once(once, [] {
        OFLog::configure(OFLogger::OFF_LOG_LEVEL);
        DJEncoderRegistration::registerCodecs();
        DJLSEncoderRegistration::registerCodecs();
        DcmRLEEncoderRegistration::registerCodecs();
    });
}

// The transfer syntax and, for DCMTK's own encoders, their parameters.
E_TransferSyntax Encode(DcmDataset& d, const Fixture& f)
{
    RegisterEncoders();
    std::unique_ptr<DcmRepresentationParameter> parameter;
    E_TransferSyntax xfer = EXS_LittleEndianExplicit;
    switch (f.encoding) {
    case Encoding::ImplicitLittle: return EXS_LittleEndianImplicit;
    case Encoding::ExplicitLittle: return EXS_LittleEndianExplicit;
    case Encoding::ExplicitBig: return EXS_BigEndianExplicit;
    case Encoding::Deflated: return EXS_DeflatedLittleEndianExplicit;
    case Encoding::Jpeg2000Lossless: return EXS_JPEG2000LosslessOnly;
    case Encoding::Jpeg2000Lossy: return EXS_JPEG2000;
    case Encoding::Rle: xfer = EXS_RLELossless, parameter = std::make_unique<DcmRLERepresentationParameter>(); break;
    case Encoding::JpegBaseline: xfer = EXS_JPEGProcess1, parameter = std::make_unique<DJ_RPLossy>(90); break;
    case Encoding::JpegExtended: xfer = EXS_JPEGProcess2_4, parameter = std::make_unique<DJ_RPLossy>(90); break;
    case Encoding::JpegLossless: xfer = EXS_JPEGProcess14SV1, parameter = std::make_unique<DJ_RPLossless>(); break;
    case Encoding::JpegLsLossless: xfer = EXS_JPEGLSLossless, parameter = std::make_unique<DJLSRepresentationParameter>(0, OFTrue); break;
    case Encoding::JpegLsNearLossless: xfer = EXS_JPEGLSLossy, parameter = std::make_unique<DJLSRepresentationParameter>(2, OFFalse); break;
    }
    if (d.chooseRepresentation(xfer, parameter.get()).bad() || !d.canWriteXfer(xfer))
        return EXS_Unknown;
    return xfer;
}

bool WriteDataset(const Fixture& f, const std::string& path)
{
    DcmFileFormat file;
    DcmDataset& d = *file.getDataset();
    if (!f.pixelData) {
        PutCommon(d, UID_BasicTextSRStorage, "SR");
        d.putAndInsertString(DCM_ValueType, "CONTAINER");
        d.putAndInsertString(DCM_ContinuityOfContent, "SEPARATE");
        return file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good();
    }
    PutCommon(d, UID_SecondaryCaptureImageStorage, "OT");
    PutImageModule(d, f);
    const bool jpeg2000 = f.encoding == Encoding::Jpeg2000Lossless || f.encoding == Encoding::Jpeg2000Lossy;
    if (!(jpeg2000 ? PutJpeg2000Pixels(d, f) : PutNativePixels(d, f)))
        return false;
    const E_TransferSyntax xfer = Encode(d, f);
    if (xfer == EXS_Unknown)
        return false;
    if (f.bareDataset)
        return d.saveFile(path.c_str(), xfer).good();
    return file.saveFile(path.c_str(), xfer).good();
}

} // namespace

bool WriteDicom(const Fixture& f, const std::string& path)
{
    return WriteDataset(f, path) && ApplyOddities(f, path);
}

Rgb Expected(const Fixture& f, double x, double y)
{
    if (f.photometric == "PALETTE COLOR")
        return PaletteColour(PaletteIndex(x, y));
    if (IsColour(f))
        return RampColour(f, x, y);
    double t = f.bitsStored == 1 ? double(Checker(x, y)) : Ramp(f, x, y);
    if (f.uniform >= 0)
        t = double(f.uniform - Lowest(f)) / double(Highest(f) - Lowest(f));
    if (f.window)
        t = std::clamp((t - 0.25) / 0.5, 0.0, 1.0);
    if (f.photometric == "MONOCHROME1")
        t = 1 - t;
    const int grey = int(std::lround(255 * t));
    return Rgb{grey, grey, grey};
}

std::vector<Fixture> AllFixtures()
{
    auto grey = [](const char* name, Encoding e, int allocated, int stored, bool isSigned = false) {
        Fixture f;
        f.name = name;
        f.encoding = e;
        f.bitsAllocated = allocated;
        f.bitsStored = stored;
        f.isSigned = isSigned;
        return f;
    };
    auto colour = [](const char* name, Encoding e, const char* photometric, int planar = 0) {
        Fixture f;
        f.name = name;
        f.encoding = e;
        f.photometric = photometric;
        f.planar = planar;
        return f;
    };
    auto with = [](Fixture f, auto change) {
        change(f);
        return f;
    };
    using E = Encoding;
    const auto tolerance = [](int t) { return [t](Fixture& f) { f.tolerance = t; }; };
    const auto uniform = [](int level) { return [level](Fixture& f) { f.uniform = level; }; };
    const auto noTransferSyntax = [](Fixture& f) { f.noTransferSyntax = true; };
    return {
        // Each transfer syntax.
        grey("implicit-mono8", E::ImplicitLittle, 8, 8),
        grey("explicit-mono16", E::ExplicitLittle, 16, 16),
        grey("big-endian-mono12-signed", E::ExplicitBig, 16, 12, true),
        // Larger than the part of a dataset read at once, so its pixels come late from the stream.
        with(grey("deflated-mono8", E::Deflated, 8, 8), [](Fixture& f) { f.width = 128, f.height = 48; }),
        grey("rle-mono16", E::Rle, 16, 16),
        grey("rle-mono32", E::Rle, 32, 32),
        colour("rle-rgb", E::Rle, "RGB"),
        with(grey("jpeg-baseline-mono8", E::JpegBaseline, 8, 8), tolerance(8)),
        with(colour("jpeg-baseline-rgb", E::JpegBaseline, "RGB"), tolerance(14)),
        with(grey("jpeg-extended-mono12", E::JpegExtended, 16, 12), tolerance(8)),
        grey("jpeg-lossless-mono16", E::JpegLossless, 16, 16),
        grey("jpegls-lossless-mono16", E::JpegLsLossless, 16, 16),
        colour("jpegls-lossless-rgb", E::JpegLsLossless, "RGB"),
        with(grey("jpegls-near-mono8", E::JpegLsNearLossless, 8, 8), tolerance(4)),
        grey("j2k-lossless-mono16-signed", E::Jpeg2000Lossless, 16, 16, true),
        colour("j2k-lossless-ybr-rct", E::Jpeg2000Lossless, "YBR_RCT"),
        with(grey("j2k-lossy-mono8", E::Jpeg2000Lossy, 8, 8), tolerance(10)),
        with(colour("j2k-lossy-ybr-ict", E::Jpeg2000Lossy, "YBR_ICT"), tolerance(14)),
        with(colour("j2k-lossy-ybr-ict-by-hand", E::Jpeg2000Lossy, "YBR_ICT"),
             [](Fixture& f) { f.colourTransform = false, f.tolerance = 14; }),
        // Each colour model, native.
        with(grey("monochrome1-mono8", E::ExplicitLittle, 8, 8), [](Fixture& f) { f.photometric = "MONOCHROME1"; }),
        colour("rgb-by-pixel", E::ExplicitLittle, "RGB", 0),
        colour("rgb-by-plane", E::ExplicitLittle, "RGB", 1),
        colour("ybr-full-by-pixel", E::ExplicitLittle, "YBR_FULL", 0),
        colour("ybr-full-by-plane", E::ExplicitLittle, "YBR_FULL", 1),
        with(colour("ybr-full-422", E::ExplicitLittle, "YBR_FULL_422"), tolerance(8)),
        with(grey("palette", E::ExplicitLittle, 8, 8), [](Fixture& f) { f.photometric = "PALETTE COLOR"; }),
        // Bit depths, signed and unsigned, with rescaling.
        grey("mono1", E::ExplicitLittle, 1, 1),
        with(grey("mono12-signed-rescaled", E::ExplicitLittle, 16, 12, true), [](Fixture& f) { f.slope = 2, f.intercept = -1024; }),
        with(grey("mono16-signed-rescaled", E::ExplicitLittle, 16, 16, true), [](Fixture& f) { f.slope = 0.25, f.intercept = 300; }),
        grey("mono32", E::ExplicitLittle, 32, 32),
        with(grey("mono32-signed-rescaled", E::ExplicitLittle, 32, 32, true), [](Fixture& f) { f.slope = 0.5, f.intercept = -100; }),
        // The file's window, also inverted.
        with(grey("window-mono16", E::ExplicitLittle, 16, 16), [](Fixture& f) { f.window = true; }),
        with(grey("window-monochrome1", E::ExplicitLittle, 16, 12), [](Fixture& f) { f.window = true, f.photometric = "MONOCHROME1"; }),
        // Several frames: the first is shown.
        with(grey("frames-native", E::ExplicitLittle, 16, 16), [](Fixture& f) { f.frames = 3; }),
        with(grey("frames-rle", E::Rle, 8, 8), [](Fixture& f) { f.frames = 2; }),
        with(grey("frames-jpegls", E::JpegLsLossless, 16, 12), [](Fixture& f) { f.frames = 2; }),
        with(grey("frames-j2k", E::Jpeg2000Lossless, 8, 8), [](Fixture& f) { f.frames = 3, f.fragmentsPerFrame = 2; }),
        // No preamble and no meta header.
        with(grey("bare-implicit-mono8", E::ImplicitLittle, 8, 8), [](Fixture& f) { f.bareDataset = true; }),
        with(grey("bare-explicit-mono16", E::ExplicitLittle, 16, 16), [](Fixture& f) { f.bareDataset = true; }),
        with(Fixture{}, [](Fixture& f) { f.name = "report-without-pixels", f.pixelData = false; }),
        // A TIFF header in the preamble, in either byte order ("dual personality" files).
        with(grey("tiff-preamble-little-endian", E::ExplicitLittle, 8, 8), [](Fixture& f) { f.preamble = Preamble::TiffLittle; }),
        with(grey("tiff-preamble-big-endian", E::ImplicitLittle, 16, 16), [](Fixture& f) { f.preamble = Preamble::TiffBig; }),
        // One level everywhere and no window: shown at that level of the stored range.
        with(grey("uniform-white-mono8", E::ExplicitLittle, 8, 8), uniform(255)),
        with(grey("uniform-black-mono8", E::ExplicitLittle, 8, 8), uniform(0)),
        with(grey("uniform-white-mono1", E::ExplicitLittle, 1, 1), uniform(1)),
        with(grey("uniform-mid-mono12", E::ExplicitLittle, 16, 12), uniform(2048)),
        with(grey("uniform-white-monochrome1", E::ExplicitLittle, 8, 8), [](Fixture& f) { f.uniform = 255, f.photometric = "MONOCHROME1"; }),
        with(grey("uniform-signed-rescaled", E::ExplicitBig, 16, 16, true), [](Fixture& f) { f.uniform = 0, f.slope = 2, f.intercept = -1024; }),
        // What other toolkits read: a VR of two spaces, no transfer syntax in the meta header
        // (the dataset then shows its encoding, and the first fragment its compression).
        with(grey("blank-vr", E::ExplicitLittle, 16, 16), [](Fixture& f) { f.blankVr = true; }),
        with(grey("no-transfer-syntax-implicit", E::ImplicitLittle, 8, 8), noTransferSyntax),
        with(grey("no-transfer-syntax-explicit", E::ExplicitLittle, 16, 16), noTransferSyntax),
        with(grey("no-transfer-syntax-big-endian", E::ExplicitBig, 16, 12, true), noTransferSyntax),
        with(colour("no-transfer-syntax-rle", E::Rle, "RGB"), noTransferSyntax),
        with(grey("no-transfer-syntax-jpeg", E::JpegBaseline, 8, 8), [](Fixture& f) { f.noTransferSyntax = true, f.tolerance = 8; }),
        with(grey("no-transfer-syntax-jpeg-lossless", E::JpegLossless, 16, 16), noTransferSyntax),
        with(grey("no-transfer-syntax-jpegls", E::JpegLsLossless, 16, 12), noTransferSyntax),
        with(grey("no-transfer-syntax-j2k", E::Jpeg2000Lossless, 16, 16, true), noTransferSyntax),
    };
}

} // namespace dicom_fixtures
