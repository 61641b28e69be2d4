// JPEG through libjpeg-turbo, decoded at the smallest of 1/8, 1/4, 1/2 and full size that still
// covers the kept size, then reduced row by row and turned upright after the EXIF orientation.
#include "RasterCodecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace fw::pictures {
namespace {

// Huffman coding needs at least a bit or so per 8x8 block of the first component, so no real
// file holds more than about 512 pixels per byte.
constexpr double kJpegPixelsPerByte = 512;
// A progressive picture keeps all its coefficients until the last scan: about 3 bytes a pixel.
constexpr long kJpegWorkingMemory = 512L << 20;

struct JpegErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

struct JpegSource {
    jpeg_source_mgr pub;
    bool ranOut = false;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void FailJpeg(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1); }
void QuietJpeg(j_common_ptr, int) {}
void StartSource(j_decompress_ptr) {}
void EndSource(j_decompress_ptr) {}

// Past the end of the file: an end marker, and the picture counts as damaged.
boolean RefillSource(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    src->ranOut = true;
    src->pub.next_input_byte = kEndOfImage;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
}

void SkipSource(j_decompress_ptr cinfo, long count)
{
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    while (count > long(src->pub.bytes_in_buffer)) {
        count -= long(src->pub.bytes_in_buffer);
        RefillSource(cinfo);
        if (src->ranOut)
            return;
    }
    if (count > 0) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= size_t(count);
    }
}

int OrientationOf(const jpeg_decompress_struct& cinfo)
{
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0)
            return ExifOrientation(m->data + 6, m->data_length - 6);
    }
    return 1;
}

// The largest reduction libjpeg does in its inverse DCT whose result still covers the kept size.
int ScaleDenominator(JDIMENSION width, JDIMENSION height, Size kept)
{
    for (int denom : {8, 4, 2})
        if ((width + denom - 1) / denom >= JDIMENSION(kept.width) && (height + denom - 1) / denom >= JDIMENSION(kept.height))
            return denom;
    return 1;
}

// Adobe writes CMYK inverted (255 is no ink); other writers store ink amounts.
void CmykToRgb(const uint8_t* cmyk, uint32_t* out, JDIMENSION width, bool inverted)
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
        uint32_t c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted)
            c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        out[x] = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
    }
}

struct JpegJob {
    JpegJob(Bytes f, const Budget& b) : file(f), budget(b) {}
    Bytes file;
    const Budget& budget;
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    JpegSource source{};
    std::optional<Reducer> reducer;
    std::vector<uint32_t> row;
    std::vector<uint8_t> cmykRow;
    int orientation = 1;
    bool inverted = false;
};

bool SetUp(JpegJob& job)
{
    jpeg_decompress_struct& cinfo = job.cinfo;
    job.source.pub.next_input_byte = job.file.data;
    job.source.pub.bytes_in_buffer = job.file.size;
    job.source.pub.init_source = StartSource;
    job.source.pub.fill_input_buffer = RefillSource;
    job.source.pub.skip_input_data = SkipSource;
    job.source.pub.resync_to_restart = jpeg_resync_to_restart;
    job.source.pub.term_source = EndSource;
    cinfo.src = &job.source.pub;
    cinfo.mem->max_memory_to_use = kJpegWorkingMemory;
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || job.source.ranOut)
        return false;
    if (!Plausible(cinfo.image_width, cinfo.image_height, job.file.size, kJpegPixelsPerByte, kJpegMaxPixels, job.budget))
        return false;
    job.orientation = OrientationOf(cinfo);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    job.inverted = cinfo.saw_Adobe_marker;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX; // BGRX is QRgb in memory
    const Size kept = KeptSize(int(cinfo.image_width), int(cinfo.image_height), job.budget.maxSide);
    cinfo.scale_num = 1;
    cinfo.scale_denom = unsigned(ScaleDenominator(cinfo.image_width, cinfo.image_height, kept));
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = cinfo.scale_denom == 1;
    jpeg_calc_output_dimensions(&cinfo);
    job.reducer.emplace(int(cinfo.output_width), int(cinfo.output_height), kept, 1, false);
    job.row.resize(cinfo.output_width);
    if (cmyk)
        job.cmykRow.resize(size_t(cinfo.output_width) * 4);
    return job.reducer->Ok();
}

bool ReadRows(JpegJob& job)
{
    jpeg_decompress_struct& cinfo = job.cinfo;
    if (!jpeg_start_decompress(&cinfo))
        return false;
    const bool cmyk = !job.cmykRow.empty();
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW target = cmyk ? job.cmykRow.data() : reinterpret_cast<JSAMPROW>(job.row.data());
        const int y = int(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1 || job.source.ranOut || job.budget.Expired())
            return false;
        if (cmyk)
            CmykToRgb(job.cmykRow.data(), job.row.data(), cinfo.output_width, job.inverted);
        job.reducer->AddSpan(y, 0, job.row.data(), int(cinfo.output_width));
        job.reducer->RowsDone(y + 1);
    }
    return true;
}

} // namespace

bool IsJpeg(Bytes file) { return file.size >= 3 && file.data[0] == 0xFF && file.data[1] == 0xD8 && file.data[2] == 0xFF; }

std::optional<DecodedPicture> DecodeJpeg(Bytes file, const Budget& budget)
{
    JpegJob job(file, budget);
    job.cinfo.err = jpeg_std_error(&job.errors.pub);
    job.errors.pub.error_exit = FailJpeg;
    job.errors.pub.emit_message = QuietJpeg;
    volatile bool ok = false;
    // No object with a destructor is made between here and the jumps back to it.
    if (setjmp(job.errors.jump) == 0) {
        jpeg_create_decompress(&job.cinfo);
        ok = SetUp(job) && ReadRows(job);
    }
    const int width = int(job.cinfo.image_width), height = int(job.cinfo.image_height);
    jpeg_destroy_decompress(&job.cinfo);
    if (!ok)
        return std::nullopt;
    return Finish(job.reducer->Take(), width, height, job.orientation);
}

} // namespace fw::pictures
