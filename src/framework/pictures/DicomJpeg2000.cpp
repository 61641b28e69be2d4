// JPEG 2000 frames through OpenJPEG, as a DCMTK decoder that works frame by frame.
#include "DicomJpeg2000.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dccodec.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace fw::pictures {
namespace {

// What the dataset says a frame holds; the decoded stream must agree with it.
struct FrameLayout {
    Uint16 rows = 0, columns = 0, samples = 1, bitsAllocated = 0, bitsStored = 0, planar = 0;
    bool isSigned = false;
    OFString photometric;
};

bool ReadLayout(DcmItem* dataset, FrameLayout& l)
{
    Uint16 representation = 0;
    if (dataset->findAndGetUint16(DCM_Rows, l.rows).bad() || dataset->findAndGetUint16(DCM_Columns, l.columns).bad() ||
        dataset->findAndGetUint16(DCM_BitsAllocated, l.bitsAllocated).bad() ||
        dataset->findAndGetOFString(DCM_PhotometricInterpretation, l.photometric).bad())
        return false;
    dataset->findAndGetUint16(DCM_SamplesPerPixel, l.samples);
    if (dataset->findAndGetUint16(DCM_BitsStored, l.bitsStored).bad())
        l.bitsStored = l.bitsAllocated;
    if (l.samples > 1)
        dataset->findAndGetUint16(DCM_PlanarConfiguration, l.planar);
    dataset->findAndGetUint16(DCM_PixelRepresentation, representation);
    l.isSigned = representation != 0;
    return l.rows > 0 && l.columns > 0 && (l.samples == 1 || l.samples == 3) &&
           (l.bitsAllocated == 8 || l.bitsAllocated == 16) && l.bitsStored >= 1 && l.bitsStored <= l.bitsAllocated;
}

// The colour model of the pixels handed on: the stream's own inverse colour transform (or ours,
// when a stream marked YBR_ICT lacks it) leaves RGB.
OFString DecodedColourModel(const OFString& photometric)
{
    return photometric == "YBR_ICT" || photometric == "YBR_RCT" ? OFString("RGB") : photometric;
}

// ---- OpenJPEG reading from memory ----

struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

OPJ_SIZE_T ReadSource(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* s = static_cast<MemorySource*>(user);
    size_t n = std::min<size_t>(count, s->size - s->pos);
    if (n == 0)
        return static_cast<OPJ_SIZE_T>(-1);
    std::memcpy(buffer, s->data + s->pos, n);
    s->pos += n;
    return n;
}

OPJ_OFF_T SkipSource(OPJ_OFF_T count, void* user)
{
    auto* s = static_cast<MemorySource*>(user);
    OPJ_OFF_T target = std::clamp<OPJ_OFF_T>(OPJ_OFF_T(s->pos) + count, 0, OPJ_OFF_T(s->size));
    OPJ_OFF_T moved = target - OPJ_OFF_T(s->pos);
    if (moved == 0 && count != 0)
        return -1;
    s->pos = size_t(target);
    return moved;
}

OPJ_BOOL SeekSource(OPJ_OFF_T to, void* user)
{
    auto* s = static_cast<MemorySource*>(user);
    if (to < 0 || OPJ_UINT64(to) > s->size)
        return OPJ_FALSE;
    s->pos = size_t(to);
    return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

// OpenJPEG's codec and stream handles are the same type to C++, hence one deleter each.
struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

struct DecodedStream {
    std::unique_ptr<opj_image_t, ImageDeleter> image;
    bool colourTransform = false;
};

// Header first: a stream whose size, components or sampling don't match the dataset is turned
// down before OpenJPEG allocates anything for its pixels.
bool HeaderMatches(const opj_image_t& image, const FrameLayout& l)
{
    if (image.numcomps != l.samples || image.x1 - image.x0 != l.columns || image.y1 - image.y0 != l.rows)
        return false;
    for (OPJ_UINT32 c = 0; c < image.numcomps; ++c) {
        const opj_image_comp_t& comp = image.comps[c];
        if (comp.dx != 1 || comp.dy != 1 || comp.prec < 1 || comp.prec > l.bitsAllocated)
            return false;
    }
    return true;
}

bool DecodeStream(const uint8_t* data, size_t size, const FrameLayout& layout, DecodedStream& out)
{
    static const uint8_t kJp2Signature[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '};
    bool jp2 = size >= sizeof kJp2Signature && std::memcmp(data, kJp2Signature, sizeof kJp2Signature) == 0;
    std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    MemorySource source{data, size, 0};
    std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(1 << 16, OPJ_TRUE));
    if (!codec || !stream)
        return false;
    opj_set_info_handler(codec.get(), Quiet, nullptr);
    opj_set_warning_handler(codec.get(), Quiet, nullptr);
    opj_set_error_handler(codec.get(), Quiet, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters))
        return false;
    opj_codec_set_threads(codec.get(), int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)));
    opj_stream_set_user_data(stream.get(), &source, nullptr);
    opj_stream_set_user_data_length(stream.get(), size);
    opj_stream_set_read_function(stream.get(), ReadSource);
    opj_stream_set_skip_function(stream.get(), SkipSource);
    opj_stream_set_seek_function(stream.get(), SeekSource);
    opj_image_t* raw = nullptr;
    bool headerRead = opj_read_header(stream.get(), codec.get(), &raw);
    out.image.reset(raw);
    if (!headerRead || !raw || !HeaderMatches(*raw, layout))
        return false;
    if (!opj_decode(codec.get(), stream.get(), raw) || !opj_end_decompress(codec.get(), stream.get()))
        return false;
    for (OPJ_UINT32 c = 0; c < raw->numcomps; ++c)
        if (!raw->comps[c].data || raw->comps[c].w != layout.columns || raw->comps[c].h != layout.rows)
            return false;
    if (opj_codestream_info_v2_t* info = opj_get_cstr_info(codec.get())) {
        out.colourTransform = info->m_default_tile_info.mct != 0;
        opj_destroy_cstr_info(&info);
    }
    return true;
}

// A stream marked YBR_ICT should carry the colour transform itself; one that does not still
// holds luminance and colour differences (centred on half the range), which become RGB here.
void UndoColourTransform(opj_image_t& image)
{
    OPJ_INT32* y = image.comps[0].data;
    OPJ_INT32* cb = image.comps[1].data;
    OPJ_INT32* cr = image.comps[2].data;
    const double half = double(OPJ_INT64(1) << (image.comps[1].prec - 1));
    const size_t count = size_t(image.comps[0].w) * image.comps[0].h;
    for (size_t i = 0; i < count; ++i) {
        const double luma = y[i], u = cb[i] - half, v = cr[i] - half;
        y[i] = OPJ_INT32(std::lround(luma + 1.402 * v));
        cb[i] = OPJ_INT32(std::lround(luma - 0.344136 * u - 0.714136 * v));
        cr[i] = OPJ_INT32(std::lround(luma + 1.772 * u));
    }
}

// The samples as native pixel data would hold them: clamped to the stored bits, in the
// dataset's planar configuration.
template <class T> void StoreSamples(const opj_image_t& image, const FrameLayout& l, T* out)
{
    const size_t pixels = size_t(l.rows) * l.columns;
    const int64_t lo = l.isSigned ? -(int64_t(1) << (l.bitsStored - 1)) : 0;
    const int64_t hi = l.isSigned ? (int64_t(1) << (l.bitsStored - 1)) - 1 : (int64_t(1) << l.bitsStored) - 1;
    for (size_t c = 0; c < l.samples; ++c) {
        const OPJ_INT32* in = image.comps[c].data;
        const size_t step = l.planar ? 1 : l.samples;
        T* o = l.planar ? out + c * pixels : out + c;
        for (size_t i = 0; i < pixels; ++i, o += step)
            *o = static_cast<T>(std::clamp<int64_t>(in[i], lo, hi));
    }
}

bool EndsCodeStream(const Uint8* p, Uint32 n)
{
    // Fragments have even lengths, so an odd code stream is followed by one padding byte.
    return (n >= 2 && p[n - 2] == 0xFF && p[n - 1] == 0xD9) || (n >= 3 && p[n - 3] == 0xFF && p[n - 2] == 0xD9 && p[n - 1] == 0);
}

// The fragments of one frame: all of them for a single frame, else up to the end of the code
// stream. One fragment is used where it lies; several are joined.
struct FrameBytes {
    std::vector<uint8_t> joined;
    const uint8_t* data = nullptr;
    size_t size = 0;
    Uint32 pastLast = 0;
};

OFCondition GatherFrame(DcmPixelSequence* sequence, Sint32 frames, Uint32 frameNo, Uint32& start, FrameBytes& f)
{
    if (start == 0 && frameNo == 0)
        start = 1; // the first frame begins right after the offset table
    else if (start == 0 && DcmCodec::determineStartFragment(frameNo, frames, sequence, start).bad())
        return EC_CorruptedData;
    const unsigned long count = sequence->card();
    int used = 0;
    for (Uint32 i = start; i < count; ++i) {
        DcmPixelItem* item = nullptr;
        Uint8* p = nullptr;
        if (sequence->getItem(item, i).bad() || !item)
            return EC_CorruptedData;
        const Uint32 n = item->getLength();
        if (n == 0)
            continue;
        if (item->getUint8Array(p).bad() || !p)
            return EC_CorruptedData;
        if (++used == 2)
            f.joined.assign(f.data, f.data + f.size);
        if (used >= 2)
            f.joined.insert(f.joined.end(), p, p + n);
        f.data = used >= 2 ? f.joined.data() : p;
        f.size = used >= 2 ? f.joined.size() : n;
        f.pastLast = i + 1;
        if (frames > 1 && EndsCodeStream(p, n))
            break;
    }
    return used > 0 ? EC_Normal : EC_CorruptedData;
}

OFCondition DecodeInto(const FrameBytes& bytes, const FrameLayout& layout, void* buffer, Uint32 bufferSize)
{
    const size_t bytesPerSample = layout.bitsAllocated / 8;
    if (size_t(layout.rows) * layout.columns * layout.samples * bytesPerSample > bufferSize)
        return EC_IllegalCall;
    DecodedStream decoded;
    if (!DecodeStream(bytes.data, bytes.size, layout, decoded))
        return EC_CorruptedData;
    if (layout.samples == 3 && layout.photometric == "YBR_ICT" && !decoded.colourTransform)
        UndoColourTransform(*decoded.image);
    if (bytesPerSample == 1)
        StoreSamples(*decoded.image, layout, static_cast<uint8_t*>(buffer));
    else
        StoreSamples(*decoded.image, layout, static_cast<uint16_t*>(buffer));
    return EC_Normal;
}

class Jpeg2000Decoder : public DcmCodec {
public:
    // Whole pixel data is never converted at once: pictures are decoded one frame at a time.
    OFCondition decode(const DcmRepresentationParameter*, DcmPixelSequence*, DcmPolymorphOBOW&,
                       const DcmCodecParameter*, const DcmStack&, OFBool&) const override
    {
        return EC_IllegalCall;
    }

    OFCondition decodeFrame(const DcmRepresentationParameter*, DcmPixelSequence* sequence, const DcmCodecParameter*,
                            DcmItem* dataset, Uint32 frameNo, Uint32& startFragment, void* buffer, Uint32 bufSize,
                            OFString& decompressedColorModel) const override
    {
        FrameLayout layout;
        if (!dataset || !sequence || !buffer || !ReadLayout(dataset, layout))
            return EC_CorruptedData;
        Sint32 frames = 1;
        dataset->findAndGetSint32(DCM_NumberOfFrames, frames);
        FrameBytes bytes;
        OFCondition result = GatherFrame(sequence, std::max<Sint32>(frames, 1), frameNo, startFragment, bytes);
        if (result.good())
            result = DecodeInto(bytes, layout, buffer, bufSize);
        for (Uint32 i = startFragment; i < bytes.pastLast; ++i) {
            DcmPixelItem* item = nullptr;
            if (sequence->getItem(item, i).good() && item)
                item->compact(); // the compressed bytes are no longer needed
        }
        if (result.good()) {
            startFragment = bytes.pastLast;
            decompressedColorModel = DecodedColourModel(layout.photometric);
        }
        return result;
    }

    OFCondition encode(const Uint16*, const Uint32, const DcmRepresentationParameter*, DcmPixelSequence*&,
                       const DcmCodecParameter*, DcmStack&, OFBool&) const override
    {
        return EC_IllegalCall;
    }

    OFCondition encode(const E_TransferSyntax, const DcmRepresentationParameter*, DcmPixelSequence*,
                       const DcmRepresentationParameter*, DcmPixelSequence*&, const DcmCodecParameter*, DcmStack&,
                       OFBool&) const override
    {
        return EC_IllegalCall;
    }

    OFBool canChangeCoding(const E_TransferSyntax from, const E_TransferSyntax to) const override
    {
        return (from == EXS_JPEG2000LosslessOnly || from == EXS_JPEG2000) && DcmXfer(to).isNotEncapsulated();
    }

    OFCondition determineDecompressedColorModel(const DcmRepresentationParameter*, DcmPixelSequence*,
                                                const DcmCodecParameter*, DcmItem* dataset,
                                                OFString& decompressedColorModel) const override
    {
        OFString photometric;
        if (!dataset || dataset->findAndGetOFString(DCM_PhotometricInterpretation, photometric).bad())
            return EC_CorruptedData;
        decompressedColorModel = DecodedColourModel(photometric);
        return EC_Normal;
    }
};

class NoParameters : public DcmCodecParameter {
public:
    DcmCodecParameter* clone() const override { return new NoParameters; }
    const char* className() const override { return "Jpeg2000DecoderParameters"; }
};

} // namespace

void RegisterJpeg2000Decoder()
{
    static Jpeg2000Decoder decoder;
    static NoParameters parameters;
    DcmCodecList::registerCodec(&decoder, nullptr, &parameters);
}

} // namespace fw::pictures
