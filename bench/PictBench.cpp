// The PICT reader: a 4000 x 3000 picture of 32-bit pixels packed by components (pack type 4),
// decoded from its bytes to the kept image, beside GraphicsMagick converting the same file; and
// a QuickDraw drawing of shapes and text, from the click to the painted preview.
#include "BenchSupport.h"
#include "Sections.h"

#include "framework/pictures/PictureCodecs.h"
#include "framework/ui/ControlPeer.h"
#include "framework/ui/GraphicsPrivate.h"
#include "pictures/PictFixtures.h"
#include "window/Window1.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

namespace bench {
namespace {

constexpr int kWidth = 4000, kHeight = 3000;
constexpr int kDecodeRuns = 7;
constexpr int kGmRuns = 3;
constexpr int kVectorShapes = 10'000, kManyShapes = 200'000, kVectorRuns = 5;
const pict_fixtures::Rect16 kVectorFrame{0, 0, 1200, 1600};

bool WriteFile(const std::string& path, const QByteArray& bytes)
{
    QFile out(QString::fromStdString(path));
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

// A drawing of shapes and text, from the click on its row to the preview's first paint in the
// running program, beside GraphicsMagick converting the same file; then a drawing twenty times
// larger, which must keep to the decoding deadline or give no picture.
void RunVectorPart(const ScratchDir& scratch)
{
    Heading(Format("PICT drawing: %s QuickDraw shapes and text, 1600 x 1200, click to painted (%d runs) vs gm convert "
                   "(%d runs)", Thousands(kVectorShapes).c_str(), kVectorRuns, kGmRuns));
    const std::string folder = scratch.Path() + "/drawing", path = folder + "/drawing.pict";
    // GraphicsMagick refuses a picture without pixels and misreads text opcodes: its baseline
    // is the same drawing with ovals for the text and a one-pixel bitmap at its end.
    const std::string twin = scratch.Path() + "/twin.pict";
    pict_fixtures::PictWriter writer(pict_fixtures::PictWriter::Version::Two, kVectorFrame, true);
    pict_fixtures::WriteVectorScene(writer, kVectorFrame, kVectorShapes, false);
    pict_fixtures::BitsOp dot;
    dot.bounds = dot.dst = pict_fixtures::Rect16{0, 0, 1, 1};
    pict_fixtures::WriteBitsOp(writer, dot, QImage(1, 1, QImage::Format_RGB32));
    QByteArray file = pict_fixtures::VectorScene(kVectorFrame, kVectorShapes, true);
    if (!Check(QDir().mkpath(QString::fromStdString(folder)) && WriteFile(path, file) &&
                   WriteFile(twin, writer.Finish()),
               "the drawing was written"))
        return;
    std::vector<double> gm, painted;
    for (int i = 0; i < kGmRuns; ++i)
        gm.push_back(TimeChild({"gm", "convert", twin, scratch.Path() + "/drawing.png"}, "/dev/null"));
    int32_t width = 0;
    ProgramRun run = RunProgram([&](Window1& w) {
        ScanWithPreviewOn(w, folder);
        for (int i = 0; i < kVectorRuns && w.FileList()->ListCount() == 1; ++i) {
            PeakMemory memory;
            w.FileList()->SetListIndex(-1);
            QCoreApplication::processEvents();
            painted.push_back(SelectAndPaint(w, 0, memory));
            width = w.pic ? w.pic->Width() : 0;
        }
    });
    Check(run.windowReached && width == kVectorFrame.right && painted.size() == kVectorRuns,
          "the drawing was listed, shown and loaded at its size");
    Stats p = Summarize(painted), g = Summarize(gm);
    Figure(Format("%s shapes and text, 1600 x 1200, click to painted (median / max)", Thousands(kVectorShapes).c_str()),
           Format("%.1f / %.1f ms", p.median, p.max), Format("gm convert, text as ovals: %.1f ms", g.median));
    Goal(p.median <= 150, "a PICT of 10,000 shapes and text, click to painted <= 150 ms",
         Format("%.1f ms beside gm convert's %.1f ms", p.median, g.median));

    file = pict_fixtures::VectorScene(kVectorFrame, kManyShapes);
    fw::pictures::Budget budget = fw::ScreenBudget();
    auto start = Clock::now();
    auto many = fw::pictures::DecodePict({reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size())}, budget);
    const double ms = MsBetween(start, Clock::now());
    Figure(Format("%s shapes and text, decoded", Thousands(kManyShapes).c_str()),
           Format("%.0f ms, %s", ms, many ? "a picture" : "no picture"));
    Goal(ms <= 2100, "a PICT of 200,000 shapes keeps to the 2 s deadline (or gives no picture)",
         Format("%.0f ms, %s", ms, many ? "a picture" : "no picture"));
}

} // namespace

// Smooth ramps with a finer pattern in blue: runs in some planes, literals in others, as in
// a photograph's flat and busy parts.
QImage Scene()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x)
            row[x] = qRgb(x * 255 / kWidth, y * 255 / kHeight, ((x / 3) ^ (y / 5)) & 255);
    }
    return image;
}

QByteArray PictSample() { return pict_fixtures::DirectPict(Scene(), 4, 3, true); }

void RunPictSection()
{
    EnsureApplication();
    Heading(Format("PICT: %d x %d, 32 bits, pack type 4, decoded (%d runs) vs gm convert (%d runs)", kWidth, kHeight,
                   kDecodeRuns, kGmRuns));
    ScratchDir scratch("pict");
    const QImage scene = Scene();
    const QByteArray file = PictSample(); // with the file header, which GraphicsMagick wants
    const std::string path = scratch.Path() + "/scene.pict";
    QFile out(QString::fromStdString(path));
    if (!Check(out.open(QIODevice::WriteOnly) && out.write(file) == file.size(), "the picture was written"))
        return;
    out.close();

    std::vector<double> decodeMs;
    bool right = true;
    for (int i = 0; i < kDecodeRuns; ++i) {
        auto start = Clock::now();
        auto p = fw::pictures::DecodePict({reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size())}, {});
        decodeMs.push_back(MsBetween(start, Clock::now()));
        right = right && p && p->width == kWidth && p->image.pixel(1234, 2345) == scene.pixel(1234, 2345);
    }
    Check(right, "the decoded picture has the frame's size and the scene's pixels");

    std::vector<double> pngMs, ppmMs;
    for (int i = 0; i < kGmRuns; ++i) {
        pngMs.push_back(TimeChild({"gm", "convert", path, scratch.Path() + "/out.png"}, "/dev/null"));
        ppmMs.push_back(TimeChild({"gm", "convert", path, scratch.Path() + "/out.ppm"}, "/dev/null"));
    }
    Stats d = Summarize(decodeMs), png = Summarize(pngMs), ppm = Summarize(ppmMs);
    Note(Format("file %.1f MB", file.size() / 1048576.0));
    Figure("", "DecodePict", "baseline");
    Figure("decode, median", Format("%.0f ms", d.median), Format("gm convert to png %.0f ms", png.median));
    Figure("", "", Format("gm convert to ppm %.0f ms", ppm.median));
    Figure("decode, min", Format("%.0f ms", d.min), Format("gm to png min %.0f ms, to ppm min %.0f ms", png.min, ppm.min));
    Goal(d.median <= 150, "a 4000 x 3000 32-bit PICT decodes in <= 150 ms",
         Format("%.0f ms beside gm convert's %.0f ms to ppm", d.median, ppm.median));
    RunVectorPart(scratch);
}

} // namespace bench
