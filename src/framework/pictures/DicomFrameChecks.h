#pragma once
// Checks of a file's first frame that DCMTK's decoders leave out: they trust what the file says
// of its compressed frames and read or write wherever it points.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcpixel.h>

namespace fw::pictures {

struct FrameFacts {
    Uint16 rows = 0, columns = 0, samples = 1, bitsAllocated = 0;
    Sint32 frames = 1;
    OFString photometric;
};

// True when the compressed frames can be handed to DCMTK: a JPEG or JPEG-LS stream with a frame
// header of the size the dataset claims (its decoders fill a frame of that size with whatever
// the stream holds), an RLE header that stays inside its fragment and agrees with the picture.
bool EncapsulatedFrameAgrees(DcmPixelData& pixels, E_TransferSyntax stored, const DcmRepresentationParameter* parameter,
                             const FrameFacts& f);

// The compression a frame's first fragment shows: an RLE header, a JPEG 2000 code stream, or a
// JPEG or JPEG-LS frame header; EXS_Unknown for anything else.
E_TransferSyntax CompressionOf(const uint8_t* fragment, size_t size);

} // namespace fw::pictures
