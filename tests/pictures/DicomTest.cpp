// The DICOM decoder on files made at run time: every encoding and colour model shows its known
// pattern through the decoder table, bounds and damage give no picture, and nothing crashes.
#include "FileBytes.h"
#include "framework/pictures/DicomInput.h"
#include "framework/pictures/PictureCodecs.h"
#include "framework/pictures/RasterCodecs.h"
#include "pictures/DicomFixtures.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcvrul.h>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <future>

#include <unistd.h>

namespace dicom_fixtures {
void PrintTo(const Fixture& f, std::ostream* out) { *out << f.name; }
} // namespace dicom_fixtures

namespace {

using dicom_fixtures::Encoding;
using dicom_fixtures::Fixture;
using fw::pictures::Budget;
using fw::pictures::Bytes;
using fw::pictures::DecodeDicom;
using fw::pictures::IsDicom;

Bytes View(const std::string& s) { return Bytes{reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

// The bytes of a literal that holds zeros, without the closing one.
template <size_t N> std::string Literal(const char (&bytes)[N]) { return std::string(bytes, N - 1); }

Fixture Named(const std::string& name)
{
    for (const Fixture& f : dicom_fixtures::AllFixtures())
        if (f.name == name)
            return f;
    ADD_FAILURE() << "no fixture " << name;
    return Fixture{};
}

// Writes the fixture into the folder (changed first, when asked) and reads its bytes back.
std::string MakeFile(const Fixture& f, const QTemporaryDir& dir,
                     const std::function<void(DcmDataset&)>& change = nullptr)
{
    const std::string path = dir.filePath(QString::fromStdString(f.name + ".dcm")).toStdString();
    EXPECT_TRUE(dicom_fixtures::WriteDicom(f, path)) << f.name;
    if (change) {
        DcmFileFormat file;
        EXPECT_TRUE(file.loadFile(path.c_str()).good());
        change(*file.getDataset());
        EXPECT_TRUE(file.saveFile(path.c_str(), file.getDataset()->getOriginalXfer()).good());
    }
    return file_bytes::ReadFile(path);
}

// Compares the picture with the fixture's pattern on a grid of points; a reduced picture is
// compared with the pattern at the matching place of the full one.
void ExpectPattern(const QImage& image, const Fixture& f, int tolerance)
{
    ASSERT_FALSE(image.isNull());
    const double sx = double(f.width) / image.width(), sy = double(f.height) / image.height();
    for (int gy = 0; gy <= 4; ++gy)
        for (int gx = 0; gx <= 6; ++gx) {
            const int x = gx * (image.width() - 1) / 6, y = gy * (image.height() - 1) / 4;
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, f.width - 1.0);
            const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, f.height - 1.0);
            const dicom_fixtures::Rgb want = dicom_fixtures::Expected(f, fx, fy);
            const QRgb got = image.pixel(x, y);
            EXPECT_NEAR(qRed(got), want.r, tolerance) << f.name << " red at " << x << "," << y;
            EXPECT_NEAR(qGreen(got), want.g, tolerance) << f.name << " green at " << x << "," << y;
            EXPECT_NEAR(qBlue(got), want.b, tolerance) << f.name << " blue at " << x << "," << y;
        }
}

class DicomVariant : public ::testing::TestWithParam<Fixture> {};

TEST_P(DicomVariant, ShowsItsPatternOrNothingWithoutPixels)
{
    const Fixture& f = GetParam();
    QTemporaryDir dir;
    const std::string bytes = MakeFile(f, dir);
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_TRUE(IsDicom(View(bytes)));
    const auto picture = fw::pictures::DecodeAny(View(bytes), Budget{});
    if (!f.pixelData) {
        EXPECT_FALSE(picture.has_value());
        return;
    }
    ASSERT_TRUE(picture.has_value()) << f.name;
    EXPECT_EQ(picture->width, f.width);
    EXPECT_EQ(picture->height, f.height);
    EXPECT_EQ(picture->image.size(), QSize(f.width, f.height));
    const bool grey = f.photometric.rfind("MONOCHROME", 0) == 0;
    EXPECT_EQ(picture->image.format(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    ExpectPattern(picture->image, f, f.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Dicom, DicomVariant, ::testing::ValuesIn(dicom_fixtures::AllFixtures()),
                         [](const ::testing::TestParamInfo<Fixture>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(DicomDecode, ReducesToTheKeptSizeAndReportsItsOwn)
{
    QTemporaryDir dir;
    for (const char* name : {"explicit-mono16", "rgb-by-plane", "window-monochrome1", "j2k-lossless-ybr-rct"}) {
        const Fixture f = Named(name);
        Budget budget;
        budget.maxSide = 10;
        const auto picture = DecodeDicom(View(MakeFile(f, dir)), budget);
        ASSERT_TRUE(picture.has_value()) << name;
        EXPECT_EQ(picture->image.size(), QSize(10, 6)) << name;
        EXPECT_EQ(picture->width, 40);
        EXPECT_EQ(picture->height, 24);
        ExpectPattern(picture->image, f, 16);
    }
}

TEST(DicomBounds, MorePixelsThanTheBudgetOrAnExpiredOneGiveNoPicture)
{
    QTemporaryDir dir;
    const std::string bytes = MakeFile(Named("explicit-mono16"), dir);
    Budget budget;
    budget.maxPixels = 40 * 24;
    EXPECT_TRUE(DecodeDicom(View(bytes), budget).has_value());
    budget.maxPixels = 40 * 24 - 1;
    EXPECT_FALSE(DecodeDicom(View(bytes), budget).has_value());
    Budget expired;
    expired.deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    EXPECT_FALSE(DecodeDicom(View(bytes), expired).has_value());
}

TEST(DicomBounds, SizesTheFileCannotHoldGiveNoPicture)
{
    QTemporaryDir dir;
    const auto claim = [](Uint16 rows, Uint16 columns) {
        return [rows, columns](DcmDataset& d) {
            d.putAndInsertUint16(DCM_Rows, rows);
            d.putAndInsertUint16(DCM_Columns, columns);
        };
    };
    // Sizes beyond what the attributes' own type holds, written with a type of four bytes.
    const auto claimLong = [](Uint32 side) {
        return [side](DcmDataset& d) {
            for (const DcmTagKey& key : {DCM_Rows, DCM_Columns}) {
                auto* element = new DcmUnsignedLong(DcmTag(key, EVR_UL));
                element->putUint32(side);
                d.insert(element, true);
            }
        };
    };
    for (const char* name : {"explicit-mono16", "rle-mono16", "jpeg-baseline-mono8", "jpegls-lossless-mono16",
                             "j2k-lossless-mono16-signed"}) {
        const Fixture f = Named(name);
        EXPECT_FALSE(DecodeDicom(View(MakeFile(f, dir, claim(65535, 65535))), Budget{}).has_value()) << name;
        EXPECT_FALSE(DecodeDicom(View(MakeFile(f, dir, claim(12000, 9000))), Budget{}).has_value()) << name;
        EXPECT_FALSE(DecodeDicom(View(MakeFile(f, dir, claim(25, 40))), Budget{}).has_value()) << name;
        EXPECT_FALSE(DecodeDicom(View(MakeFile(f, dir, claimLong(100000))), Budget{}).has_value()) << name;
    }
}

// The pixel data stays in the mapped file until the first frame is asked for; the rest of
// the dataset is read at once.
TEST(DicomInput, LongValuesStayInTheFile)
{
    QTemporaryDir dir;
    Fixture f = Named("frames-native");
    f.width = f.height = 128;
    const std::string bytes = MakeFile(f, dir);
    DcmFileFormat format;
    ASSERT_TRUE(fw::pictures::ReadMapped(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), format));
    DcmElement* pixels = nullptr;
    ASSERT_TRUE(format.getDataset()->findAndGetElement(DCM_PixelData, pixels, OFFalse).good());
    EXPECT_FALSE(pixels->valueLoaded());
    Uint16 rows = 0;
    EXPECT_TRUE(format.getDataset()->findAndGetUint16(DCM_Rows, rows).good());
    EXPECT_EQ(rows, 128);
    Uint16 firstTwo[2] = {};
    ASSERT_TRUE(pixels->getPartialValue(firstTwo, 0, sizeof firstTwo).good());
    EXPECT_EQ(firstTwo[0], 0);
    EXPECT_GT(firstTwo[1], 0);
    EXPECT_FALSE(pixels->valueLoaded());
    const auto picture = DecodeDicom(View(bytes), Budget{});
    ASSERT_TRUE(picture.has_value());
    ExpectPattern(picture->image, f, f.tolerance);
}

// Every shortened copy of each file gives no picture. A deflated dataset is the exception: its
// last few bytes may hold no more than the end of the compressed stream, and without them the
// dataset can still come out whole, which then shows whole.
TEST(DicomDamage, TruncatedFilesGiveNoPicture)
{
    QTemporaryDir dir;
    for (const char* name : {"explicit-mono16", "bare-implicit-mono8", "deflated-mono8", "rle-rgb",
                             "jpeg-baseline-rgb", "jpegls-lossless-mono16", "frames-j2k"}) {
        const Fixture f = Named(name);
        const std::string bytes = MakeFile(f, dir);
        for (size_t cut = 0; cut < bytes.size(); cut += (cut < 300 || cut + 300 > bytes.size()) ? 1 : 37) {
            const auto picture = DecodeDicom(Bytes{reinterpret_cast<const uint8_t*>(bytes.data()), cut}, Budget{});
            if (picture && f.encoding == Encoding::Deflated && cut + 8 >= bytes.size())
                ExpectPattern(picture->image, f, f.tolerance);
            else
                ASSERT_FALSE(picture.has_value()) << name << " cut at " << cut << " of " << bytes.size();
        }
    }
}

// Where the first fragment of the first frame starts, and its length.
std::pair<size_t, uint32_t> FirstFragment(const std::string& b)
{
    const auto le32 = [&b](size_t at) {
        return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
               uint32_t(uint8_t(b[at + 3])) << 24;
    };
    const size_t pixels = b.find(Literal("\xe0\x7f\x10\0OB\0\0\xff\xff\xff\xff"));
    EXPECT_NE(pixels, std::string::npos);
    const size_t fragment = pixels + 12 + 8 + le32(pixels + 12 + 4); // past the offset table
    return {fragment + 8, le32(fragment + 4)};
}

void Put32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

// DCMTK's RLE decoder reads wherever the header's offsets point: a header that disagrees with
// its fragment or with the picture gives no picture. (A scanner's 32-bit file with one segment
// offset overwritten crashed it.)
TEST(DicomDamage, RleHeadersThatPointAmissGiveNoPicture)
{
    QTemporaryDir dir;
    const std::string good = MakeFile(Named("rle-rgb"), dir);
    const auto [header, length] = FirstFragment(good);
    const auto offset = [&good, header = header](int i) {
        return uint32_t(uint8_t(good[header + 4 + 4 * i])) | uint32_t(uint8_t(good[header + 5 + 4 * i])) << 8;
    };
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
    } kDamage[] = {
        {"no segments", 0, 0},
        {"sixteen segments", 0, 16},
        {"fewer segments than samples", 0, 2},
        {"a first segment not right after the header", 4, 68},
        {"offsets out of order", 12, offset(1) - 2},
        {"an empty segment", 12, offset(1)},
        {"a segment too short for its row", 8, 66},
        {"a segment past the fragment", 12, offset(2) | 0xFF000000u},
        {"a segment ending past the fragment", 12, length + 2},
    };
    ASSERT_TRUE(DecodeDicom(View(good), Budget{}).has_value());
    for (const auto& d : kDamage) {
        std::string bad = good;
        Put32(bad, header + d.at, d.value);
        EXPECT_FALSE(DecodeDicom(View(bad), Budget{}).has_value()) << d.what;
    }
    // Segments far longer than a picture of the size the dataset claims could take.
    const auto small = [](DcmDataset& d) {
        d.putAndInsertUint16(DCM_Rows, 2);
        d.putAndInsertUint16(DCM_Columns, 4);
    };
    EXPECT_FALSE(DecodeDicom(View(MakeFile(Named("rle-rgb"), dir, small)), Budget{}).has_value());
    const std::string crasher = file_bytes::ReadFile(ZORLIN_TEST_DATA "/rle-32bit-segment-offset.dcm");
    ASSERT_GT(crasher.size(), 1000u);
    EXPECT_FALSE(fw::pictures::DecodeAny(View(crasher), Budget{}).has_value());
}

// DCMTK looks for a JPEG stream's frame header on its own and turns for ever on a TEM marker
// (0xFF01): a stream with one before its frame header gives no picture, and promptly.
TEST(DicomDamage, JpegStreamsWithATemMarkerBeforeTheFrameHeaderGiveNoPicture)
{
    QTemporaryDir dir;
    for (const char* name : {"jpeg-baseline-mono8", "jpeg-lossless-mono16", "jpegls-lossless-mono16"}) {
        std::string bytes = MakeFile(Named(name), dir);
        const size_t stream = FirstFragment(bytes).first;
        bytes.replace(stream + 2, 2, "\xff\x01");
        auto decode = std::async(std::launch::async, [&bytes] { return DecodeDicom(View(bytes), Budget{}); });
        if (decode.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << name << ": the decode did not end";
            std::_Exit(1); // the turning thread can't be joined
        }
        EXPECT_FALSE(decode.get().has_value()) << name;
    }
}

// What a call writes to the console (standard error), whichever library writes it.
std::string ConsoleOutputOf(const std::function<void()>& run)
{
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = dup(2);
    dup2(fileno(capture), 2);
    run();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string said(size_t(std::ftell(capture)), '\0');
    std::rewind(capture);
    said.resize(std::fread(said.data(), 1, said.size(), capture));
    std::fclose(capture);
    return said;
}

// A TIFF header in the preamble has libtiff try the file first; it turns the file down without
// a word on the console, and the file shows as the DICOM file it is.
TEST(DicomDispatch, ATiffHeaderInThePreambleIsTurnedDownQuietly)
{
    QTemporaryDir dir;
    for (const char* name : {"tiff-preamble-little-endian", "tiff-preamble-big-endian"}) {
        const std::string bytes = MakeFile(Named(name), dir);
        ASSERT_TRUE(fw::pictures::IsTiff(View(bytes))) << name;
        std::optional<fw::pictures::DecodedPicture> tiff, shown;
        const std::string said = ConsoleOutputOf([&] {
            tiff = fw::pictures::DecodeTiff(View(bytes), Budget{});
            shown = fw::pictures::DecodeAny(View(bytes), Budget{});
        });
        EXPECT_FALSE(tiff.has_value()) << name;
        EXPECT_TRUE(shown.has_value()) << name;
        EXPECT_EQ(said, "") << name;
    }
}

TEST(DicomDamage, EmptyAndNearlyEmptyFilesGiveNoPicture)
{
    EXPECT_FALSE(IsDicom(Bytes{}));
    EXPECT_FALSE(DecodeDicom(Bytes{}, Budget{}).has_value());
    std::string header(128, '\0');
    header += "DICM";
    EXPECT_TRUE(IsDicom(View(header)));
    EXPECT_FALSE(DecodeDicom(View(header), Budget{}).has_value());
    header += std::string(64, '\xff');
    EXPECT_FALSE(DecodeDicom(View(header), Budget{}).has_value());
}

TEST(DicomSniff, OnlyDicomContentIsRecognised)
{
    EXPECT_FALSE(IsDicom(View(Literal("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06"))));
    EXPECT_FALSE(IsDicom(View(Literal("\xff\xd8\xff\xe0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0"))));
    EXPECT_FALSE(IsDicom(View(std::string(4096, '\0'))));
    EXPECT_FALSE(IsDicom(View("plain words in a text file that happens to be long enough")));
    // Group 0x0008, then nothing that continues a dataset.
    EXPECT_FALSE(IsDicom(View(Literal("\x08\0\x16\0UI\x04\0abcd\x07\0\x01\0UI\x02\0xy"))));
    EXPECT_FALSE(IsDicom(View(Literal("\x08\0\x16\0UI\x04\0abcd\x08\0\x10\0UI\x02\0xy"))));
    EXPECT_FALSE(IsDicom(View(Literal("\x08\0\x16\0\xf0\xff\0\0abcdefghijklmnop"))));
    // The same start with a second element in order is a bare dataset.
    EXPECT_TRUE(IsDicom(View(Literal("\x08\0\x16\0UI\x04\0abcd\x08\0\x18\0UI\x02\0xy"))));
    EXPECT_TRUE(IsDicom(View(Literal("\x08\0\x16\0\x04\0\0\0abcd\x08\0\x18\0\x02\0\0\0xy"))));
}

} // namespace
