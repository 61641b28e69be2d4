// JPEG 2000 code streams for the DICOM fixtures, written with OpenJPEG into memory.
#include "pictures/DicomFixtures.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>

namespace dicom_fixtures {
namespace {

struct Sink {
    std::string bytes;
    size_t pos = 0;
};

OPJ_SIZE_T WriteSink(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* s = static_cast<Sink*>(user);
    if (s->bytes.size() < s->pos + count)
        s->bytes.resize(s->pos + count);
    std::memcpy(s->bytes.data() + s->pos, buffer, count);
    s->pos += count;
    return count;
}

OPJ_OFF_T SkipSink(OPJ_OFF_T count, void* user)
{
    auto* s = static_cast<Sink*>(user);
    s->pos = size_t(std::max<OPJ_OFF_T>(0, OPJ_OFF_T(s->pos) + count));
    return count;
}

OPJ_BOOL SeekSink(OPJ_OFF_T to, void* user)
{
    static_cast<Sink*>(user)->pos = size_t(to);
    return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

opj_image_t* MakeImage(const std::vector<std::vector<int32_t>>& components, int width, int height, int precision,
                       bool isSigned)
{
    std::vector<opj_image_cmptparm_t> parameters(components.size());
    for (auto& p : parameters) {
        std::memset(&p, 0, sizeof p);
        p.dx = p.dy = 1;
        p.w = OPJ_UINT32(width);
        p.h = OPJ_UINT32(height);
        p.prec = OPJ_UINT32(precision);
        p.sgnd = isSigned;
    }
    const OPJ_COLOR_SPACE space = components.size() == 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY;
    opj_image_t* image = opj_image_create(OPJ_UINT32(components.size()), parameters.data(), space);
    if (!image)
        return nullptr;
    image->x1 = OPJ_UINT32(width);
    image->y1 = OPJ_UINT32(height);
    for (size_t c = 0; c < components.size(); ++c)
        std::copy(components[c].begin(), components[c].end(), image->comps[c].data);
    return image;
}

} // namespace

std::string EncodeJpeg2000(const std::vector<std::vector<int32_t>>& components, int width, int height, int precision,
                           bool isSigned, bool lossy, bool colourTransform)
{
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    parameters.tcp_rates[0] = lossy ? 4 : 0; // a quarter of the raw size, or lossless
    parameters.irreversible = lossy;
    parameters.tcp_mct = components.size() == 3 && colourTransform ? 1 : 0;
    parameters.numresolution = 3;
    opj_image_t* image = MakeImage(components, width, height, precision, isSigned);
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
    Sink sink;
    bool ok = image && codec && stream;
    if (ok) {
        opj_set_info_handler(codec, Quiet, nullptr);
        opj_set_warning_handler(codec, Quiet, nullptr);
        opj_set_error_handler(codec, Quiet, nullptr);
        opj_stream_set_user_data(stream, &sink, nullptr);
        opj_stream_set_write_function(stream, WriteSink);
        opj_stream_set_skip_function(stream, SkipSink);
        opj_stream_set_seek_function(stream, SeekSink);
        ok = opj_setup_encoder(codec, &parameters, image) && opj_start_compress(codec, image, stream) &&
             opj_encode(codec, stream) && opj_end_compress(codec, stream);
    }
    if (stream)
        opj_stream_destroy(stream);
    if (codec)
        opj_destroy_codec(codec);
    if (image)
        opj_image_destroy(image);
    return ok ? sink.bytes : std::string();
}

} // namespace dicom_fixtures
