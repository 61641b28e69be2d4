// PNG through libpng, row by row: 16-bit samples scaled to 8, palettes, grey and transparency
// expanded, each row reduced as it arrives. An interlaced picture is read only up to the pass
// whose pixel grid still covers the kept size, so a huge one costs a fraction of its pixels.
#include "RasterCodecs.h"

#include <csetjmp>
#include <cstring>

#include <png.h>

namespace fw::pictures {
namespace {

// Deflate gives at most about 1032 bytes for one of input.
constexpr double kDeflateRatio = 1032;
// The grid of an interlaced picture is held whole until its last needed pass.
constexpr int64_t kMaxGridPixels = 80'000'000;

struct PngJob {
    PngJob(Bytes f, const Budget& b) : file(f), budget(b) {}
    Bytes file;
    const Budget& budget;
    size_t at = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0, height = 0;
    bool interlaced = false;
    bool alpha = false;
    Size kept;
    std::optional<Reducer> reducer;
    std::vector<uint32_t> row;
    std::vector<uint32_t> grid;
};

void ReadPngBytes(png_structp png, png_bytep out, size_t count)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (count > job->file.size - job->at)
        png_error(png, "truncated");
    std::memcpy(out, job->file.data + job->at, count);
    job->at += count;
}

void FailPng(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void QuietPng(png_structp, png_const_charp) {}

bool SetUp(PngJob& job)
{
    png_structp png = job.png;
    png_set_read_fn(png, &job, ReadPngBytes);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF); // the pixel bound below is ours
    png_read_info(png, job.info);
    int depth = 0, color = 0, interlace = 0;
    png_get_IHDR(png, job.info, &job.width, &job.height, &depth, &color, &interlace, nullptr, nullptr);
    const double rowBytes = 1 + (double(job.width) * png_get_channels(png, job.info) * depth + 7) / 8;
    const double pixels = double(job.width) * job.height;
    if (!Plausible(job.width, job.height, job.file.size, kDeflateRatio * pixels / (rowBytes * job.height),
                   kPngMaxPixels, job.budget))
        return false;
    job.interlaced = interlace != PNG_INTERLACE_NONE;
    job.alpha = (color & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, job.info, PNG_INFO_tRNS);
    png_set_expand(png);
    png_set_scale_16(png);
    if (!(color & PNG_COLOR_MASK_COLOR))
        png_set_gray_to_rgb(png);
    png_set_bgr(png); // with the filler or alpha after it, each pixel is a QRgb in memory
    if (!job.alpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, job.info);
    if (png_get_rowbytes(png, job.info) != size_t(job.width) * 4)
        return false;
    job.row.resize(job.width);
    job.kept = KeptSize(int(job.width), int(job.height), job.budget.maxSide);
    return true;
}

bool ReadProgressive(PngJob& job)
{
    job.reducer.emplace(int(job.width), int(job.height), job.kept, 1, job.alpha);
    if (!job.reducer->Ok())
        return false;
    for (png_uint_32 y = 0; y < job.height; ++y) {
        if (job.budget.Expired())
            return false;
        png_read_row(job.png, reinterpret_cast<png_bytep>(job.row.data()), nullptr);
        job.reducer->AddSpan(int(y), 0, job.row.data(), int(job.width));
        job.reducer->RowsDone(int(y) + 1);
    }
    return true;
}

// Adam7 puts every 8th pixel of every 8th row in pass 0, every 4th of every 4th by the end of
// pass 2, every 2nd of every 2nd by the end of pass 4.
bool ReadInterlaced(PngJob& job)
{
    int step = 1;
    for (int s : {8, 4, 2}) {
        if ((job.width + s - 1) / s >= png_uint_32(job.kept.width) && (job.height + s - 1) / s >= png_uint_32(job.kept.height)) {
            step = s;
            break;
        }
    }
    const int lastPass = step == 8 ? 0 : step == 4 ? 2 : step == 2 ? 4 : 6;
    const png_uint_32 gw = (job.width + step - 1) / step, gh = (job.height + step - 1) / step;
    if (int64_t(gw) * gh > kMaxGridPixels)
        return false;
    job.grid.assign(size_t(gw) * gh, 0);
    for (int pass = 0; pass <= lastPass; ++pass) {
        const png_uint_32 cols = PNG_PASS_COLS(job.width, pass), rows = PNG_PASS_ROWS(job.height, pass);
        if (cols == 0 || rows == 0)
            continue; // libpng passes over empty passes too
        for (png_uint_32 r = 0; r < rows; ++r) {
            if (job.budget.Expired())
                return false;
            png_read_row(job.png, reinterpret_cast<png_bytep>(job.row.data()), nullptr);
            const png_uint_32 y = PNG_PASS_START_ROW(pass) + (r << PNG_PASS_ROW_SHIFT(pass));
            if (y % step)
                continue;
            for (png_uint_32 c = 0; c < cols; ++c) {
                const png_uint_32 x = PNG_PASS_START_COL(pass) + (c << PNG_PASS_COL_SHIFT(pass));
                if (x % step == 0)
                    job.grid[size_t(y / step) * gw + x / step] = job.row[c];
            }
        }
    }
    job.reducer.emplace(int(gw), int(gh), job.kept, 1, job.alpha);
    if (!job.reducer->Ok())
        return false;
    for (png_uint_32 y = 0; y < gh; ++y) {
        job.reducer->AddSpan(int(y), 0, job.grid.data() + size_t(y) * gw, int(gw));
        job.reducer->RowsDone(int(y) + 1);
    }
    return true;
}

} // namespace

bool IsPng(Bytes file) { return file.size >= 8 && std::memcmp(file.data, "\x89PNG\r\n\x1a\n", 8) == 0; }

std::optional<DecodedPicture> DecodePng(Bytes file, const Budget& budget)
{
    PngJob job(file, budget);
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, FailPng, QuietPng);
    if (!job.png)
        return std::nullopt;
    job.info = png_create_info_struct(job.png);
    volatile bool ok = false;
    // No object with a destructor is made between here and the jumps back to it.
    if (job.info && setjmp(png_jmpbuf(job.png)) == 0)
        ok = SetUp(job) && (job.interlaced ? ReadInterlaced(job) : ReadProgressive(job));
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    if (!ok)
        return std::nullopt;
    return Finish(job.reducer->Take(), int(job.width), int(job.height), 1);
}

} // namespace fw::pictures
