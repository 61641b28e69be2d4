// Every DICOM and PICT file the fixture writers make, and the damaged files kept beside the
// tests, through a fixed set of mutations: cuts at many points, flipped bytes and inflated
// length fields. Each mutant goes through the whole decoder table with a small budget and
// gives a picture within that budget or none; under the sanitizer build a read outside the
// file or any other fault fails the test. The mutations are the same on every run.
#include "pictures/DicomFixtures.h"
#include "pictures/PictFixtures.h"
#include "FileBytes.h"
#include "framework/pictures/PictureCodecs.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Source {
    std::string name;
    std::string bytes;
    bool shows = true; // the unchanged file gives a picture
};

struct Field {
    size_t at = 0;
    int width = 4; // bytes
    bool big = false;
};

// ---- Where the length fields are ----

uint32_t Read(const std::string& b, size_t at, int width, bool big)
{
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v |= uint32_t(uint8_t(b[at + (big ? width - 1 - i : i)])) << (8 * i);
    return v;
}

bool LongVr(const std::string& b, size_t at)
{
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    return std::any_of(std::begin(kLong), std::end(kLong), [&](const char* v) { return b.compare(at, 2, v) == 0; });
}

// Without a transfer syntax to go by, an element with two capitals after its tag has a VR.
bool LooksExplicit(const std::string& b, size_t at)
{
    return at + 6 <= b.size() && std::isupper(uint8_t(b[at + 4])) && std::isupper(uint8_t(b[at + 5]));
}

// The length fields of a DICOM file's elements and items, walked in the encoding its meta
// header names, or that its first elements show; a deflated dataset is left unwalked.
std::vector<Field> DicomLengths(const std::string& b)
{
    std::vector<Field> fields;
    const bool meta = b.size() > 132 && b.compare(128, 4, "DICM") == 0;
    const size_t ts = b.find("1.2.840.10008.1.2");
    const std::string uid = ts == std::string::npos ? "" : b.substr(ts, b.find('\0', ts) - ts);
    bool explicitVr = meta || LooksExplicit(b, 0);
    bool big = false, inMeta = meta, pixels = false;
    for (size_t at = meta ? 132 : 0; at + 8 <= b.size();) {
        if (inMeta && Read(b, at, 2, false) != 0x0002) {
            inMeta = false;
            if (uid.rfind("1.2.840.10008.1.2.1.99", 0) == 0)
                break;
            explicitVr = uid.empty() ? LooksExplicit(b, at) : uid != "1.2.840.10008.1.2";
            big = uid.empty() ? Read(b, at, 2, false) > 0xFF : uid == "1.2.840.10008.1.2.2";
        }
        const bool item = Read(b, at, 2, big && !inMeta) == 0xFFFE;
        const bool vr = (explicitVr || inMeta) && !item;
        const bool wide = !vr || LongVr(b, at + 4);
        const Field f{at + (vr && wide ? 8u : vr ? 6u : 4u), wide ? 4 : 2, big && !inMeta};
        if (f.at + f.width > b.size())
            break;
        fields.push_back(f);
        const uint32_t length = Read(b, f.at, f.width, f.big);
        pixels = pixels || (Read(b, at, 2, f.big) == 0x7FE0 && length == 0xFFFFFFFF);
        const bool stepIn = length == 0xFFFFFFFF || (item && !pixels);
        at = f.at + f.width + (stepIn ? 0 : length);
    }
    return fields;
}

// A PICT file has no directory of lengths: its picture size, then words and longs spread
// over the file, which in these small fixtures fall on sizes, bounds, row widths and counts.
std::vector<Field> PictWords(const std::string& b)
{
    std::vector<Field> fields;
    const size_t start = b.size() > 512 + 10 && b.compare(0, 4, std::string(4, '\0')) == 0 ? 512 : 0;
    fields.push_back(Field{start, 2, true});
    for (size_t i = 1; i <= 10; ++i)
        fields.push_back(Field{(start + (b.size() - start) * i / 12) & ~size_t(1), i % 3 == 0 ? 4 : 2, true});
    return fields;
}

// ---- The mutations ----

void Put(std::string& b, const Field& f, uint32_t v)
{
    for (int i = 0; i < f.width && f.at + i < b.size(); ++i)
        b[f.at + (f.big ? f.width - 1 - i : i)] = char(v >> (8 * i));
}

// How much of each kind: enough to reach every part of these small files, few enough for the
// sanitizer build to run them all in a few seconds.
constexpr int kCuts = 24, kFlipRounds = 40, kInflatedFields = 20;

std::vector<std::string> Mutants(const Source& s, const std::vector<Field>& fields)
{
    std::vector<std::string> out;
    const size_t n = s.bytes.size();
    // The headers byte by byte (a preamble, a meta header, a picture frame), the rest spread out.
    for (size_t cut : {size_t(1), size_t(8), size_t(64), size_t(131), size_t(140), n - 9, n - 2, n - 1})
        if (cut < n)
            out.push_back(s.bytes.substr(0, cut));
    for (int i = 1; i < kCuts - 8; ++i)
        out.push_back(s.bytes.substr(0, n * i / (kCuts - 8)));
    uint32_t seed = uint32_t(std::hash<std::string>{}(s.name));
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < kFlipRounds; ++round) {
        std::string flipped = s.bytes;
        for (int flips = 1 + round % 3; flips > 0; --flips)
            flipped[(next() >> 8) % n] ^= char(1 + (next() >> 16) % 255);
        out.push_back(std::move(flipped));
    }
    // A length a little longer than its value, reaching past the end, huge, or undefined.
    const size_t step = std::max<size_t>(1, fields.size() / kInflatedFields);
    for (size_t i = 0; i < fields.size(); i += step) {
        const Field& f = fields[i];
        const uint32_t was = Read(s.bytes, f.at, f.width, f.big), top = f.width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
        for (uint32_t value : {was + 2, uint32_t(n), top - 15, top}) {
            std::string inflated = s.bytes;
            Put(inflated, f, std::min(value, top));
            out.push_back(std::move(inflated));
        }
    }
    return out;
}

void ExpectSaneAfterMutation(const Source& s, const std::vector<Field>& fields)
{
    const auto decode = [](const std::string& bytes) {
        fw::pictures::Budget budget;
        budget.maxSide = 64;
        budget.maxPixels = 1 << 20;
        budget.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        return fw::pictures::DecodeAny({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, budget);
    };
    ASSERT_GT(s.bytes.size(), 16u) << s.name;
    EXPECT_EQ(decode(s.bytes).has_value(), s.shows) << s.name << " unchanged";
    int n = 0;
    for (const std::string& mutant : Mutants(s, fields)) {
        const auto picture = decode(mutant);
        ++n;
        if (!picture)
            continue;
        EXPECT_FALSE(picture->image.isNull()) << s.name << " mutant " << n;
        EXPECT_GT(picture->width, 0) << s.name << " mutant " << n;
        EXPECT_GT(picture->height, 0) << s.name << " mutant " << n;
        EXPECT_LE(std::max(picture->image.width(), picture->image.height()), 64) << s.name << " mutant " << n;
        EXPECT_LE(int64_t(picture->width) * picture->height, 1 << 20) << s.name << " mutant " << n;
    }
}

// ---- The files mutated: one row for each writer of fixtures ----

std::vector<Source> DicomFixtures()
{
    QTemporaryDir dir;
    std::vector<Source> out;
    for (const dicom_fixtures::Fixture& f : dicom_fixtures::AllFixtures()) {
        const std::string path = dir.filePath(QString::fromStdString(f.name + ".dcm")).toStdString();
        EXPECT_TRUE(dicom_fixtures::WriteDicom(f, path)) << f.name;
        out.push_back(Source{f.name, file_bytes::ReadFile(path), f.pixelData});
    }
    return out;
}

std::vector<Source> PictSeeds()
{
    std::vector<Source> out;
    for (const auto& [name, bytes] : pict_fixtures::PictSeeds())
        out.push_back(Source{name, bytes.toStdString()});
    return out;
}

// Damaged files found in the field, kept small; none of them shows.
std::vector<Source> StoredDamagedFiles()
{
    std::vector<Source> out;
    for (const auto& entry : std::filesystem::directory_iterator(ZORLIN_TEST_DATA))
        out.push_back(Source{entry.path().filename().string(), file_bytes::ReadFile(entry.path().string()), false});
    EXPECT_FALSE(out.empty());
    return out;
}

struct Writer {
    const char* name;
    std::vector<Source> (*sources)();
    std::vector<Field> (*lengths)(const std::string&);
};

const Writer kWriters[] = {
    {"DicomFixtures", DicomFixtures, DicomLengths},
    {"PictSeeds", PictSeeds, PictWords},
    {"StoredDamagedFiles", StoredDamagedFiles, DicomLengths},
};

class Mutation : public ::testing::TestWithParam<Writer> {};

TEST_P(Mutation, EveryMutantGivesAPictureWithinTheBudgetOrNone)
{
    for (const Source& s : GetParam().sources())
        ExpectSaneAfterMutation(s, GetParam().lengths(s.bytes));
}

INSTANTIATE_TEST_SUITE_P(Pictures, Mutation, ::testing::ValuesIn(kWriters),
                         [](const ::testing::TestParamInfo<Writer>& info) { return std::string(info.param.name); });

} // namespace
