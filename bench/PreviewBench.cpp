// The preview: the real program, headless, from the click on a row to the end of the canvas's
// first paint, with the peak memory of the load, for a 24-megapixel JPEG, a 100-megapixel LZW
// TIFF, a 2048 x 2048 16-bit DICOM and a 4000 x 3000 32-bit PICT; beside them, in the same run
// and with the same warm cache, djpeg decoding the JPEG at a quarter, GraphicsMagick making a
// thumbnail of the TIFF the size of the pane, dcm2pnm and GraphicsMagick converting the DICOM and
// the PICT. Then a repaint after a resize, beside an uncached smooth draw of the same picture.
#include "BenchSupport.h"
#include "Sections.h"

#include "framework/ui/ControlPeer.h"
#include "framework/ui/GraphicsPrivate.h"
#include "framework/ui/ListboxPrivate.h"
#include "window/Window1.h"

#include <QCoreApplication>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <vector>

#include <sys/stat.h>

#include <jpeglib.h>
#include <tiffio.h>

namespace bench {

void ScanWithPreviewOn(Window1& w, const std::string& folder)
{
    AnswerDialogs({folder});
    QTest::mouseClick(fw::NativeInputWidget(*w.ScanButton()), Qt::LeftButton);
    QWidget* box = fw::NativeInputWidget(*w.PreviewCheckBox());
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
    QCoreApplication::processEvents();
}

namespace {

constexpr int kRuns = 5;

// A photograph's worth of detail: smooth light, edges and a little grain, so the files
// compress about as real ones do.
void PhotoRow(int y, int width, int height, std::vector<uint8_t>& rgb)
{
    uint32_t seed = uint32_t(y) * 2654435761u;
    for (int x = 0; x < width; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int grain = int(seed >> 29) - 4;
        const double u = double(x) / width, v = double(y) / height;
        const int edge = ((x / 97) ^ (y / 61)) & 1 ? 30 : 0;
        rgb[size_t(x) * 3] = uint8_t(std::clamp(int(200 * u + 40 * std::sin(v * 9)) + edge + grain, 0, 255));
        rgb[size_t(x) * 3 + 1] = uint8_t(std::clamp(int(160 * v + 50 * std::cos(u * 7)) + grain, 0, 255));
        rgb[size_t(x) * 3 + 2] = uint8_t(std::clamp(int(120 + 90 * std::sin((u + v) * 5)) - edge + grain, 0, 255));
    }
}

void MakeJpeg(const std::string& path, int width, int height, int orientation)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = JDIMENSION(width), c.image_height = JDIMENSION(height);
    c.input_components = 3, c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    if (orientation > 1) {
        const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(orientation), 0, 0, 0, 0, 0, 0, 0};
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif, sizeof(exif));
    }
    std::vector<uint8_t> row(size_t(width) * 3);
    while (c.next_scanline < c.image_height) {
        PhotoRow(int(c.next_scanline), width, height, row);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
}

void MakeTiff(const std::string& path, int width, int height)
{
    TIFF* t = TIFFOpen(path.c_str(), "w8");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
    TIFFSetField(t, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    std::vector<uint8_t> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        PhotoRow(y, width, height, row);
        TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
    TIFFClose(t);
}

int64_t FileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

struct Selection {
    std::vector<double> ms;
    int64_t peak = 0;      // the largest rise of the resident size over a load
    int32_t width = 0, height = 0;
};

// The canvas's first paint at a new height, beside a smooth draw of the same kept copy at the
// same size that keeps nothing.
void BenchResize(Window1& w)
{
    QWidget* canvas = fw::NativeWidget(*w.PreviewCanvas());
    QWidget* window = canvas->window();
    std::vector<double> repaint, uncached;
    const fw::PictureData& d = w.pic->Data();
    for (int i = 0; i < 2 * kRuns; ++i) {
        window->resize(window->width(), 400 + 37 * (i + 1));
        QCoreApplication::processEvents();
        auto t0 = Clock::now();
        canvas->repaint();
        repaint.push_back(MsBetween(t0, Clock::now()));
        QImage target(canvas->size(), QImage::Format_ARGB32_Premultiplied);
        QPainter p(&target);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        const QSize fit = QSize(d.width, d.height).scaled(canvas->size(), Qt::KeepAspectRatio);
        auto t1 = Clock::now();
        p.drawImage(QRect(QPoint(0, 0), fit), d.image);
        uncached.push_back(MsBetween(t1, Clock::now()));
    }
    Stats a = Summarize(repaint), b = Summarize(uncached);
    Figure(Format("repaint after a resize, %dx%d picture kept as %dx%d (median / max)", d.width, d.height,
                  d.image.width(), d.image.height()),
           Format("%.2f / %.2f ms", a.median, a.max), Format("uncached smooth draw %.2f / %.2f ms", b.median, b.max));
    Goal(a.max <= 10, "repaint after a resize <= 10 ms", Format("%.2f ms at most", a.max));
}

constexpr int kCases = 5; // the JPEG, its portrait twin, the TIFF, the DICOM, the PICT

struct Baselines {
    std::vector<double> djpeg, gmTiff, dcm2pnm, gmPict;
};

void ReportDicomAndPict(const Selection (&sel)[kCases], const Baselines& base)
{
    Stats d = Summarize(sel[3].ms), p = Summarize(sel[4].ms);
    Stats dt = Summarize(base.dcm2pnm), gt = Summarize(base.gmPict);
    Check(sel[3].width == 2048 && sel[4].width == 4000 && sel[4].height == 3000, "DICOM and PICT loaded at their sizes");
    Figure("2048 x 2048 16-bit DICOM, click to painted (median / max)", Format("%.1f / %.1f ms", d.median, d.max),
           Format("dcm2pnm: %.1f ms", dt.median));
    Figure("2048 x 2048 16-bit DICOM, peak memory over the load", Format("%.1f MB", sel[3].peak / 1e6));
    Goal(d.median <= 150, "2048 x 2048 16-bit DICOM, click to painted <= 150 ms",
         Format("%.1f ms beside dcm2pnm's %.1f ms; peak %.1f MB", d.median, dt.median, sel[3].peak / 1e6));
    Figure("4000 x 3000 32-bit PICT, click to painted (median / max)", Format("%.1f / %.1f ms", p.median, p.max),
           Format("gm convert: %.1f ms", gt.median));
    Figure("4000 x 3000 32-bit PICT, peak memory over the load", Format("%.1f MB", sel[4].peak / 1e6));
    Goal(p.median <= 150, "4000 x 3000 32-bit PICT, click to painted <= 150 ms",
         Format("%.1f ms beside gm convert's %.1f ms; peak %.1f MB", p.median, gt.median, sel[4].peak / 1e6));
}

void Report(const Selection (&sel)[kCases], const Baselines& base)
{
    const std::vector<double>& djpeg = base.djpeg;
    const std::vector<double>& gm = base.gmTiff;
    Stats j = Summarize(sel[0].ms), p = Summarize(sel[1].ms), t = Summarize(sel[2].ms);
    Stats dj = Summarize(djpeg), g = Summarize(gm);
    Check(sel[0].width == 6000 && sel[1].width == 4000 && sel[1].height == 6000 && sel[2].width == 10000,
          "each picture loaded at its size as shown");
    Figure("24 MP JPEG, click to painted (median / max)", Format("%.1f / %.1f ms", j.median, j.max),
           Format("djpeg -scale 1/4: %.1f ms", dj.median));
    Figure("24 MP JPEG turned by its tag, click to painted", Format("%.1f ms", p.median));
    Figure("24 MP JPEG, peak memory over the load", Format("%.1f MB", sel[0].peak / 1e6));
    Goal(j.median <= 200 && j.median <= 1.5 * dj.median, "24 MP JPEG <= 200 ms and <= 1.5x djpeg -scale 1/4",
         Format("%.1f ms beside djpeg's %.1f ms (x%.2f); peak %.1f MB", j.median, dj.median, j.median / dj.median,
                sel[0].peak / 1e6));
    Figure("100 MP TIFF LZW, click to painted (median / max)", Format("%.1f / %.1f ms", t.median, t.max),
           Format("gm convert -thumbnail 256x306: %.1f ms", g.median));
    Figure("100 MP TIFF LZW, peak memory over the load", Format("%.1f MB", sel[2].peak / 1e6));
    Goal(t.median <= 1000 && sel[2].peak <= 150'000'000, "100 MP TIFF <= 1 s and <= 150 MB above the resident size",
         Format("%.1f ms beside gm convert's %.1f ms; peak %.1f MB", t.median, g.median, sel[2].peak / 1e6));
    ReportDicomAndPict(sel, base);
}

} // namespace

// Clicks the row and lets the program run until the canvas has painted.
double SelectAndPaint(Window1& w, int row, PeakMemory& memory)
{
    QWidget* canvas = fw::NativeWidget(*w.PreviewCanvas());
    struct PaintSeen : QObject {
        bool seen = false;
        bool eventFilter(QObject*, QEvent* e) override
        {
            seen = seen || e->type() == QEvent::Paint;
            return false;
        }
    } filter;
    canvas->installEventFilter(&filter);
    memory.Start();
    auto start = Clock::now();
    w.FileList()->AnnouncePendingRows();
    fw::ListView* view = fw::NativeListView(*w.FileList());
    QRect r = view->visualRect(view->model()->index(row, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    while (!filter.seen && MsBetween(start, Clock::now()) < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = MsBetween(start, Clock::now());
    memory.Stop();
    canvas->removeEventFilter(&filter);
    return filter.seen ? ms : -1;
}

void RunPreviewSection()
{
    EnsureApplication();
    ScratchDir scratch("preview");
    const std::string folder = scratch.Path() + "/pictures";
    ::mkdir(folder.c_str(), 0755);
    // Listed in this order: the JPEG, its portrait twin, the TIFF.
    const std::string jpeg = folder + "/a-photo.jpg", portrait = folder + "/b-portrait.jpg";
    const std::string tiff = folder + "/c-scan.tif", dicom = folder + "/d-ct.dcm", pict = folder + "/e-scene.pict";
    auto made = Clock::now();
    MakeJpeg(jpeg, 6000, 4000, 1);
    MakeJpeg(portrait, 6000, 4000, 6);
    MakeTiff(tiff, 10000, 10000);
    const QByteArray pictBytes = PictSample();
    std::FILE* pictOut = std::fopen(pict.c_str(), "wb");
    const bool pictWritten = pictOut && std::fwrite(pictBytes.constData(), 1, size_t(pictBytes.size()), pictOut) ==
                                            size_t(pictBytes.size());
    if (pictOut)
        std::fclose(pictOut);
    if (!Check(WriteDicomSample(dicom, 2048, 1) && pictWritten, "the DICOM and PICT samples were written"))
        return;
    Heading(Format("Preview: click on a row to the end of the pane's first paint (%d runs each; files made in %.1f s)",
                   kRuns, MsBetween(made, Clock::now()) / 1000));
    Note(Format("JPEG 6000x4000 q90: %s bytes; TIFF 10000x10000 RGB LZW: %s bytes",
                Thousands(FileSize(jpeg)).c_str(), Thousands(FileSize(tiff)).c_str()));

    const std::string sink = scratch.Path() + "/out";
    Baselines base;
    for (int i = 0; i < kRuns; ++i) {
        base.djpeg.push_back(TimeChild({"djpeg", "-scale", "1/4", "-outfile", sink + ".ppm", jpeg}, sink + ".txt"));
        base.dcm2pnm.push_back(TimeChild({"dcm2pnm", "--min-max-window", dicom, sink + ".pgm"}, sink + ".txt"));
        if (i < 3) {
            base.gmTiff.push_back(TimeChild({"gm", "convert", tiff, "-thumbnail", "256x306", sink + ".png"}, sink + ".txt"));
            base.gmPict.push_back(TimeChild({"gm", "convert", pict, sink + ".png"}, sink + ".txt"));
        }
    }
    Selection sel[kCases];
    ProgramRun run = RunProgram([&](Window1& w) {
        ScanWithPreviewOn(w, folder);
        if (!Check(w.FileList()->ListCount() == kCases, "the scan lists the five pictures"))
            return;
        Note(Format("kept copies at most %d pixels on their longer side (the largest screen's)",
                    fw::ScreenBudget().maxSide));
        for (int i = 0; i < kRuns; ++i)
            for (int row = 0; row < kCases; ++row) {
                PeakMemory memory;
                sel[row].ms.push_back(SelectAndPaint(w, row, memory));
                sel[row].peak = std::max(sel[row].peak, memory.Peak() - memory.Baseline());
                sel[row].width = w.pic ? w.pic->Width() : 0;
                sel[row].height = w.pic ? w.pic->Height() : 0;
                if (row == 1 && i == kRuns - 1)
                    BenchResize(w);
            }
    });
    Check(run.windowReached, "the program's window was shown");
    Report(sel, base);
}

} // namespace bench
