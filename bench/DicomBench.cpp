// DICOM: a 2048 x 2048 16-bit picture decoded from its mapped file, as the preview opens it,
// beside DCMTK's own dcm2pnm turning the same file into a grey picture with the same window.
#include "BenchSupport.h"
#include "Sections.h"

#include "framework/pictures/PictureCodecs.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <cmath>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

// CT-like pictures: a disc of soft tissue in air with a smooth ramp and fine noise, so no
// window or decoder can take a shortcut.
bool WriteDicomSample(const std::string& path, int side, int frames)
{
    std::vector<Uint16> pixels(size_t(side) * side * frames);
    uint32_t seed = 7;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int x = int(i % side), y = int(i / side % side);
        seed = seed * 1664525u + 1013904223u;
        const double dx = x - side / 2.0, dy = y - side / 2.0;
        const bool inside = dx * dx + dy * dy < 0.2 * side * side;
        const double value = inside ? 1000 + 20000.0 * x / side + 9000.0 * y / side : 24;
        pixels[i] = Uint16(value + (seed >> 24));
    }
    DcmFileFormat file;
    DcmDataset& d = *file.getDataset();
    char uid[100];
    d.putAndInsertString(DCM_SOPClassUID, UID_CTImageStorage);
    d.putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
    d.putAndInsertString(DCM_Modality, "CT");
    d.putAndInsertUint16(DCM_SamplesPerPixel, 1);
    d.putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    d.putAndInsertUint16(DCM_Rows, Uint16(side));
    d.putAndInsertUint16(DCM_Columns, Uint16(side));
    if (frames > 1)
        d.putAndInsertString(DCM_NumberOfFrames, std::to_string(frames).c_str());
    d.putAndInsertUint16(DCM_BitsAllocated, 16);
    d.putAndInsertUint16(DCM_BitsStored, 16);
    d.putAndInsertUint16(DCM_HighBit, 15);
    d.putAndInsertUint16(DCM_PixelRepresentation, 0);
    d.putAndInsertString(DCM_RescaleSlope, "1");
    d.putAndInsertString(DCM_RescaleIntercept, "-1024");
    d.putAndInsertUint16Array(DCM_PixelData, pixels.data(), Uint32(pixels.size()));
    return file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good();
}

namespace {

constexpr int kSide = 2048;
constexpr int kFrameSide = 1024, kFrames = 32; // a 64 MB series in one file
constexpr int kDecodeRuns = 9;
constexpr int kToolRuns = 5;
constexpr double kGoalMs = 150;

// The file mapped read-only, as the picture loader maps it.
class Mapping {
public:
    explicit Mapping(const std::string& path)
    {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size > 0) {
            void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED)
                data_ = static_cast<const uint8_t*>(p), size_ = size_t(st.st_size);
        }
        if (fd >= 0)
            ::close(fd);
    }
    ~Mapping()
    {
        if (data_)
            ::munmap(const_cast<uint8_t*>(data_), size_);
    }
    fw::pictures::Bytes Bytes() const { return {data_, size_}; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// Maps the file afresh for each run, as every selection of a row does.
Stats TimeDecode(const std::string& path, int side, int maxSide, bool& allShown)
{
    std::vector<double> ms;
    allShown = true;
    for (int i = 0; i < kDecodeRuns; ++i) {
        auto t0 = Clock::now();
        Mapping mapping(path);
        fw::pictures::Budget budget;
        budget.maxSide = maxSide;
        auto picture = fw::pictures::DecodeDicom(mapping.Bytes(), budget);
        ms.push_back(MsBetween(t0, Clock::now()));
        allShown = allShown && picture && picture->width == side && !picture->image.isNull();
    }
    return Summarize(ms);
}

// The first frame of a long series: only that frame's bytes are read, so time and memory
// are those of one frame, not of the file.
void SeriesFigures(const std::string& folder)
{
    const std::string single = folder + "/single.dcm", series = folder + "/series.dcm";
    if (!Check(WriteDicomSample(single, kFrameSide, 1) && WriteDicomSample(series, kFrameSide, kFrames), "the series was written"))
        return;
    bool shown = false, seriesShown = false;
    const Stats one = TimeDecode(single, kFrameSide, 4096, shown);
    PeakMemory memory;
    memory.Start();
    const Stats first = TimeDecode(series, kFrameSide, 4096, seriesShown);
    memory.Stop();
    Check(shown && seriesShown, "every decode gave the picture");
    const double peakMb = double(memory.Peak() - memory.Baseline()) / (1 << 20);
    const double fileMb = double(kFrameSide) * kFrameSide * 2 * kFrames / (1 << 20);
    Figure(Format("first of %d frames %d x %d, median", kFrames, kFrameSide, kFrameSide), Format("%.1f ms", first.median),
           Format("one frame alone %.1f ms  -> x%.2f", one.median, first.median / one.median));
    Figure("peak memory above the start", Format("%.1f MB", peakMb), Format("file %.0f MB", fileMb));
    Goal(peakMb < fileMb / 4, "the first frame of a series is decoded without reading the series",
         Format("%.1f MB for a %.0f MB file", peakMb, fileMb));
}

} // namespace

void RunDicomSection()
{
    ScratchDir scratch("dicom");
    const std::string path = scratch.Path() + "/ct-2048.dcm", out = scratch.Path() + "/ct-2048.pgm";
    Heading(Format("DICOM: %d x %d, 16 bits, explicit VR little endian, min-max window", kSide, kSide));
    if (!Check(WriteDicomSample(path, kSide, 1), "the DICOM sample was written"))
        return;
    const std::vector<std::string> tool = {"dcm2pnm", "--min-max-window", path, out};
    if (!Check(TimeChild(tool, "/dev/null") >= 0, "dcm2pnm ran"))
        return;
    std::vector<double> toolMs;
    for (int i = 0; i < kToolRuns; ++i)
        toolMs.push_back(TimeChild(tool, "/dev/null"));
    const Stats dcm2pnm = Summarize(toolMs);

    bool fullShown = false, reducedShown = false;
    const Stats full = TimeDecode(path, kSide, 4096, fullShown);
    const Stats reduced = TimeDecode(path, kSide, 1024, reducedShown);
    Check(fullShown && reducedShown, "every decode gave the picture");
    Figure("", Format("decode (%d runs)", kDecodeRuns), "baseline");
    Figure("DecodeDicom, whole size, median", Format("%.1f ms", full.median),
           Format("dcm2pnm %.1f ms (%d runs, a process)  -> x%.2f", dcm2pnm.median, kToolRuns, full.median / dcm2pnm.median));
    Figure("DecodeDicom, whole size, min / max", Format("%.1f / %.1f ms", full.min, full.max),
           Format("dcm2pnm min %.1f ms", dcm2pnm.min));
    Figure("DecodeDicom, kept at 1024, median", Format("%.1f ms", reduced.median));
    Goal(full.median <= kGoalMs, Format("a %d x %d 16-bit DICOM decodes in <= %.0f ms", kSide, kSide, kGoalMs),
         Format("%.1f ms beside dcm2pnm's %.1f ms", full.median, dcm2pnm.median));
    SeriesFigures(scratch.Path());
}

} // namespace bench
