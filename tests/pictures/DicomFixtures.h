#pragma once
// DICOM files made at run time with DCMTK (and OpenJPEG for JPEG 2000), each holding a known
// pattern, and what the decoder should show for it. The tests and the fuzzers' seeds share them.
#include <cstdint>
#include <string>
#include <vector>

namespace dicom_fixtures {

enum class Encoding {
    ImplicitLittle,
    ExplicitLittle,
    ExplicitBig,
    Deflated,
    Rle,
    JpegBaseline,
    JpegExtended,
    JpegLossless,
    JpegLsLossless,
    JpegLsNearLossless,
    Jpeg2000Lossless,
    Jpeg2000Lossy,
};

// What sits in the 128 bytes before "DICM": nothing, or the start of a TIFF file in either
// byte order (a "dual personality" file) whose directory points at nothing TIFF can read.
enum class Preamble { Zeros, TiffLittle, TiffBig };

// What a fixture holds. Grey pictures are a ramp, brighter to the right and less so
// downwards (a checkerboard of 4-pixel squares at 1 bit); colour pictures run red to the right
// and green downwards; palette pictures index a table of their own. Frames after the first
// hold the inverse pattern, so showing any but the first is seen.
struct Fixture {
    std::string name;
    Encoding encoding = Encoding::ExplicitLittle;
    int width = 40;
    int height = 24;
    int frames = 1;
    std::string photometric = "MONOCHROME2";
    int bitsAllocated = 8;
    int bitsStored = 8;
    bool isSigned = false;
    int planar = 0;
    double slope = 1;            // Rescale Slope and Intercept, written when not 1 and 0
    double intercept = 0;
    bool window = false;         // a window over the middle half of the values
    bool bareDataset = false;    // no preamble and no meta header
    bool pixelData = true;       // false: a structured report without pixels
    bool colourTransform = true; // JPEG 2000 colour: the stream's own transform, or ours beforehand
    int fragmentsPerFrame = 1;   // JPEG 2000: each frame's code stream cut into this many fragments
    int tolerance = 3;           // the largest difference per channel the encoding may leave
    int uniform = -1;            // grey: every sample this stored value, when not negative
    Preamble preamble = Preamble::Zeros;
    bool blankVr = false;        // explicit VR: Rows and Photometric Interpretation with the VR "  "
    bool noTransferSyntax = false; // a meta header without its Transfer Syntax UID
};

// Writes the fixture to `path`; false when DCMTK or OpenJPEG could not make it.
bool WriteDicom(const Fixture& fixture, const std::string& path);

// Puts the fixture's oddities that DCMTK won't write (the preamble, a blank VR, a meta header
// without its transfer syntax) into the file at `path`; false when it lacks what they change.
bool ApplyOddities(const Fixture& fixture, const std::string& path);

// The colour the decoder should show at (x, y), 0 to 255 per channel (grey: r = g = b).
struct Rgb {
    int r = 0, g = 0, b = 0;
};
Rgb Expected(const Fixture& fixture, double x, double y);

// Every variant: each transfer syntax, each colour model, each bit depth, windows, frames,
// uniform frames, a bare dataset, a report without pixels, and the oddities of some writers.
// Small, so they also serve as fuzzing seeds and as the mutation test's starting points.
std::vector<Fixture> AllFixtures();

// A JPEG 2000 code stream of the samples (per component, row by row); empty on failure.
std::string EncodeJpeg2000(const std::vector<std::vector<int32_t>>& components, int width, int height, int precision,
                           bool isSigned, bool lossy, bool colourTransform);

} // namespace dicom_fixtures
