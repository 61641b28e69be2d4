// The DICOM decoder on files made at run time: every encoding and colour model shows its known
// pattern, bounds and damage give no picture, and nothing crashes.
#include "FileBytes.h"
#include "framework/pictures/DicomInput.h"
#include "framework/pictures/PictureCodecs.h"
#include "pictures/DicomFixtures.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcvrul.h>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

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
    const auto picture = DecodeDicom(View(bytes), Budget{});
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

TEST(DicomDamage, CorruptedFilesNeverCrash)
{
    QTemporaryDir dir;
    uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (const char* name : {"explicit-mono16", "palette", "rle-rgb", "jpeg-extended-mono12", "jpegls-near-mono8",
                             "j2k-lossy-ybr-ict", "frames-native"}) {
        const std::string bytes = MakeFile(Named(name), dir);
        for (int round = 0; round < 150; ++round) {
            std::string damaged = bytes;
            for (int flips = 1 + next() % 4; flips > 0; --flips)
                damaged[(next() >> 8) % damaged.size()] = char(next() >> 16);
            Budget budget;
            budget.maxPixels = 1 << 22;
            const auto picture = DecodeDicom(View(damaged), budget);
            if (picture)
                EXPECT_FALSE(picture->image.isNull());
        }
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
