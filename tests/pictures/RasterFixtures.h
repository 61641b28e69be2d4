#pragma once
// Pictures of every format and its real-world variants, made at run time: each fixture's
// bytes, and the image a viewer would show for them, to compare pixels at known points.
#include <QByteArray>
#include <QImage>

#include <string>

namespace fixtures {

struct Fixture {
    std::string name;
    QByteArray bytes;
    QImage shown;      // as a viewer shows it (upright), ARGB32
    int tolerance = 0; // per channel, for lossy formats
};

// Four coloured quadrants (red, green, blue, yellow from the top left) with a white dot
// off-centre, so any turn or mirror shows.
QImage Pattern(int width, int height);
// The stored image that a TIFF/EXIF orientation turns into `shown`.
QImage StoredFor(const QImage& shown, int orientation);

// ---- JPEG (libjpeg) ----
struct JpegOptions {
    bool progressive = false;
    bool grey = false;
    bool cmyk = false; // Adobe-inverted CMYK
    int restartRows = 0;
    int orientation = 0; // 0: no EXIF block
    int quality = 92;
};
Fixture Jpeg(const QImage& shown, const JpegOptions& options);

// ---- PNG (libpng) ----
enum class PngColour { Grey, GreyAlpha, Palette, Rgb, Rgba };
struct PngOptions {
    PngColour colour = PngColour::Rgb;
    int depth = 8;
    bool interlaced = false;
    bool transparentColour = false; // a tRNS chunk making the top left quadrant transparent
};
Fixture Png(const QImage& shown, const PngOptions& options);

// ---- TIFF (libtiff) ----
enum class TiffColour { Grey, Rgb, Palette, Rgba, WhiteIsZero }; // WhiteIsZero: grey stored inverted
struct TiffOptions {
    TiffColour colour = TiffColour::Rgb;
    int bits = 8;
    int compression = 1; // COMPRESSION_NONE
    bool tiled = false;
    bool separatePlanes = false;
    int orientation = 0; // 0: no tag
    bool secondPage = false;
    bool bigTiff = false;
};
Fixture Tiff(const QImage& shown, const TiffOptions& options);

// ---- GIF and BMP (written byte by byte) ----
struct GifOptions {
    bool interlaced = false;
    bool animated = false; // a second frame of another picture follows
};
Fixture Gif(const QImage& shown, const GifOptions& options);

struct BmpOptions {
    int bits = 24;     // 1, 4, 8, 24, 32
    bool rle = false;  // RLE4 for 4 bits, RLE8 for 8
    bool topDown = false;
};
Fixture Bmp(const QImage& shown, const BmpOptions& options);

// Other formats through Qt's own writer.
Fixture QtWritten(const QImage& shown, const char* format);

// A header of the format that claims width by height pixels, followed by a few bytes.
QByteArray ClaimedSize(const std::string& format, int width, int height);

// Every fixture above in its common variants, for seeding the fuzzer.
std::vector<Fixture> SeedFixtures();

} // namespace fixtures
