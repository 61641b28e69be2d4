// The first frame of a compressed file as its JPEG frame header or its RLE header describes it.
#include "DicomFrameChecks.h"

#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>

#include <algorithm>
#include <cstdint>

namespace fw::pictures {
namespace {

enum class JpegFrame { Missing, Sized, SizedLater };

// The size a JPEG or JPEG-LS frame header states. DCMTK's own search for the header never gets
// past a TEM marker (0xFF01): it would turn there for ever, so a stream with one before its
// frame header is taken as one without.
JpegFrame JpegFrameSize(const uint8_t* p, size_t n, Uint16& rows, Uint16& columns, uint8_t* frameMarker = nullptr)
{
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return JpegFrame::Missing;
    for (size_t at = 2; at + 4 <= n;) {
        const uint8_t marker = p[at + 1];
        if (p[at] != 0xFF || marker == 0xDA || marker == 0x01)
            return JpegFrame::Missing;
        if (marker == 0xFF || (marker >= 0xD0 && marker <= 0xD8)) {
            at += marker == 0xFF ? 1 : 2;
            continue;
        }
        const bool frameHeader = (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) ||
                                 marker == 0xF7;
        if (frameHeader) {
            if (at + 9 > n)
                return JpegFrame::Missing;
            if (frameMarker)
                *frameMarker = marker;
            rows = Uint16(p[at + 5] << 8 | p[at + 6]);
            columns = Uint16(p[at + 7] << 8 | p[at + 8]);
            return rows != 0 ? JpegFrame::Sized : JpegFrame::SizedLater; // a height in a DNL can't be checked here
        }
        at += 2 + size_t(p[at + 2] << 8 | p[at + 3]);
    }
    return JpegFrame::Missing;
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// An RLE frame: one segment for each byte of a pixel's samples, the first right after the
// 64-byte header, each after the one before and inside the fragment, and each as long as
// its row-by-row runs can be: at least two bytes for 128 pixels (replicate runs), at most a
// byte more than the pixels for every 128 of a row (literal runs), with a byte of padding.
bool RleHeaderAgrees(const uint8_t* p, size_t n, const FrameFacts& f)
{
    if (n < 64 || f.bitsAllocated % 8 != 0)
        return false;
    const uint32_t count = Le32(p);
    if (count < 1 || count > 15 || count != uint32_t(f.samples) * (f.bitsAllocated / 8) || Le32(p + 4) != 64)
        return false;
    const uint64_t pixels = uint64_t(f.rows) * f.columns;
    const uint64_t shortest = 2 * ((pixels + 127) / 128);
    const uint64_t longest = pixels + uint64_t(f.rows) * ((f.columns + 127) / 128) + 1;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t start = Le32(p + 4 + 4 * i), end = i + 1 < count ? Le32(p + 8 + 4 * i) : n;
        if (end <= start || end > n || end - start < shortest || end - start > longest)
            return false;
    }
    return true;
}

bool FragmentAgrees(DcmPixelItem& fragment, E_TransferSyntax stored, const FrameFacts& f)
{
    Uint8* data = nullptr;
    if (fragment.getUint8Array(data).bad() || !data)
        return false;
    if (stored == EXS_RLELossless)
        return RleHeaderAgrees(data, fragment.getLength(), f);
    Uint16 rows = 0, columns = 0;
    const JpegFrame frame = JpegFrameSize(data, fragment.getLength(), rows, columns);
    return frame == JpegFrame::SizedLater || (frame == JpegFrame::Sized && rows == f.rows && columns == f.columns);
}

} // namespace

E_TransferSyntax CompressionOf(const uint8_t* p, size_t n)
{
    Uint16 rows = 0, columns = 0;
    uint8_t marker = 0;
    if (n >= 8 && Le32(p) >= 1 && Le32(p) <= 15 && Le32(p + 4) == 64)
        return EXS_RLELossless;
    if (n >= 4 && p[0] == 0xFF && p[1] == 0x4F && p[2] == 0xFF && p[3] == 0x51)
        return EXS_JPEG2000;
    if (JpegFrameSize(p, n, rows, columns, &marker) == JpegFrame::Missing)
        return EXS_Unknown;
    switch (marker) {
    case 0xC0: return EXS_JPEGProcess1;
    case 0xC1: return EXS_JPEGProcess2_4;
    case 0xC3: return EXS_JPEGProcess14;
    case 0xF7: return EXS_JPEGLSLossless;
    default: return EXS_Unknown;
    }
}

bool EncapsulatedFrameAgrees(DcmPixelData& pixels, E_TransferSyntax stored, const DcmRepresentationParameter* parameter,
                             const FrameFacts& f)
{
    const bool jpeg = DcmXfer(stored).getJPEGProcess8Bit() != 0 || stored == EXS_JPEGLSLossless || stored == EXS_JPEGLSLossy;
    if (!jpeg && stored != EXS_RLELossless)
        return true;
    DcmPixelSequence* sequence = nullptr;
    if (pixels.getEncapsulatedRepresentation(stored, parameter, sequence).bad() || !sequence)
        return false;
    // An RLE frame is one fragment, and DCMTK may decode every frame there is; a JPEG stream's
    // first fragment holds its frame header. (The first item is the offset table.)
    const unsigned long fragments = sequence->card() > 1 ? sequence->card() - 1 : 0;
    const unsigned long frames = stored == EXS_RLELossless ? std::max<Sint32>(f.frames, 1) : 1;
    const unsigned long checked = std::max(1ul, std::min(frames, fragments));
    for (unsigned long i = 1; i <= checked; ++i) {
        DcmPixelItem* fragment = nullptr;
        if (sequence->getItem(fragment, i).bad() || !fragment || !FragmentAgrees(*fragment, stored, f))
            return false;
    }
    return true;
}

} // namespace fw::pictures
