// DICOM files as some scanners write them and DCMTK never would: a TIFF header in the preamble,
// a VR of two spaces, a meta header without its transfer syntax. Each is put into the bytes
// DCMTK wrote.
#include "pictures/DicomFixtures.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace dicom_fixtures {
namespace {

constexpr size_t kMetaStart = 132; // after the preamble and "DICM"

void Put16(std::string& b, size_t at, uint16_t v, bool big)
{
    b[at] = char(big ? v >> 8 : v & 0xFF);
    b[at + 1] = char(big ? v & 0xFF : v >> 8);
}

void Put32(std::string& b, size_t at, uint32_t v, bool big)
{
    Put16(b, at, uint16_t(big ? v >> 16 : v & 0xFFFF), big);
    Put16(b, at + 2, uint16_t(big ? v & 0xFFFF : v >> 16), big);
}

// A little-endian TIFF whose one strip lies far past the end of the file, or a big-endian one
// whose first directory does.
void PutTiffPreamble(std::string& b, Preamble preamble)
{
    const bool big = preamble == Preamble::TiffBig;
    std::memcpy(b.data(), big ? "MM\0*" : "II*\0", 4);
    if (big) {
        Put32(b, 4, 0x7FFFFFF0, true);
        return;
    }
    Put32(b, 4, 8, false);
    struct Entry {
        uint16_t tag, type;
        uint32_t value;
    };
    const Entry entries[] = {{256, 3, 40},  {257, 3, 24},  {258, 3, 8},           {259, 3, 1},
                             {262, 3, 1},   {273, 4, 0xFFFF0000}, {278, 3, 24}, {279, 4, 960}};
    size_t at = 8;
    Put16(b, at, uint16_t(std::size(entries)), false);
    at += 2;
    for (const Entry& e : entries) {
        Put16(b, at, e.tag, false);
        Put16(b, at + 2, e.type, false);
        Put32(b, at + 4, 1, false);
        Put32(b, at + 8, e.value, false);
        at += 12;
    }
    Put32(b, at, 0, false); // no further directory
}

// The VR of an explicit little-endian element of the dataset turned into two spaces.
bool BlankVr(std::string& b, const char (&header)[7])
{
    const size_t at = b.find(std::string(header, 6), kMetaStart);
    if (at == std::string::npos)
        return false;
    b.replace(at + 4, 2, "  ");
    return true;
}

// Drops (0002,0010) from the meta header and shortens the group's length to match.
bool DropTransferSyntax(std::string& b)
{
    if (b.size() < kMetaStart + 12 || b.compare(kMetaStart, 6, std::string("\x02\0\0\0UL", 6)) != 0)
        return false;
    const auto byte = [&b](size_t at) { return uint32_t(uint8_t(b[at])); };
    const uint32_t group = byte(kMetaStart + 8) | byte(kMetaStart + 9) << 8 | byte(kMetaStart + 10) << 16 |
                           byte(kMetaStart + 11) << 24;
    const size_t at = b.find(std::string("\x02\0\x10\0UI", 6), kMetaStart);
    if (at == std::string::npos || at + 8 > b.size())
        return false;
    const uint32_t element = 8 + (byte(at + 6) | byte(at + 7) << 8);
    b.erase(at, element);
    Put32(b, kMetaStart + 8, group - element, false);
    return true;
}

bool ChangeBytes(const Fixture& f, std::string& bytes)
{
    const bool withMeta = !f.bareDataset && bytes.size() > kMetaStart && bytes.compare(128, 4, "DICM") == 0;
    if (f.preamble != Preamble::Zeros) {
        if (!withMeta)
            return false;
        PutTiffPreamble(bytes, f.preamble);
    }
    if (f.blankVr && (!BlankVr(bytes, "\x28\0\x10\0US") || !BlankVr(bytes, "\x28\0\x04\0CS")))
        return false;
    return !f.noTransferSyntax || (withMeta && DropTransferSyntax(bytes));
}

} // namespace

bool ApplyOddities(const Fixture& f, const std::string& path)
{
    if (f.preamble == Preamble::Zeros && !f.blankVr && !f.noTransferSyntax)
        return true;
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    if (!ChangeBytes(f, bytes))
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return bool(out.write(bytes.data(), std::streamsize(bytes.size())));
}

} // namespace dicom_fixtures
