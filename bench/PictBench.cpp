// The PICT reader: a 4000 x 3000 picture of 32-bit pixels packed by components (pack type 4),
// decoded from its bytes to the kept image, beside GraphicsMagick converting the same file.
#include "BenchSupport.h"
#include "Sections.h"

#include "framework/pictures/PictureCodecs.h"
#include "pictures/PictFixtures.h"

#include <QFile>

namespace bench {
namespace {

constexpr int kWidth = 4000, kHeight = 3000;
constexpr int kDecodeRuns = 7;
constexpr int kGmRuns = 3;

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
}

} // namespace bench
