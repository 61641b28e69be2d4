#include "BadFiles.h"
#include "DeepPath.h"

#include "Files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace e2e::files {
namespace {

using namespace std::string_literals;

std::string Big16(uint32_t v) { return {char(v >> 8), char(v)}; }
std::string Big32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Little16(uint32_t v) { return {char(v), char(v >> 8)}; }
std::string Little32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// The same bytes on every run: damage that a test can reproduce.
std::string Garbage(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    return bytes;
}

uint32_t Crc32(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::string PngChunk(const std::string& type, const std::string& data)
{
    return Big32(uint32_t(data.size())) + type + data + Big32(Crc32(type + data));
}

// Rows of grey bytes, each after its filter byte, in a zlib stream of stored blocks.
std::string StoredZlib(const std::string& raw)
{
    std::string out = "\x78\x01";
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n >= raw.size();
        out += char(last ? 1 : 0) + Little16(uint32_t(n)) + Little16(uint32_t(~n & 0xFFFF)) + raw.substr(at, n);
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return out + Big32(b << 16 | a);
}

// A grey PNG of width by height whose data holds `rows` rows of it (all of them, or fewer),
// stored as they are or compressed.
std::string Png(uint32_t width, uint32_t height, uint32_t rows, bool compressed = false)
{
    std::string header = Big32(width) + Big32(height) + "\x08\x00\x00\x00\x00"s;
    std::string raw;
    for (uint32_t r = 0; r < rows; ++r)
        raw += std::string(1, '\0') + std::string(width, char(r * 16));
    std::string data = StoredZlib(raw);
    if (compressed) {
        uLongf size = compressBound(uLong(raw.size()));
        data.resize(size);
        EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(data.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                            uLong(raw.size()), 9),
                  Z_OK);
        data.resize(size);
    }
    return "\x89PNG\r\n\x1a\n"s + PngChunk("IHDR", header) + PngChunk("IDAT", data) + PngChunk("IEND", "");
}

// A grey baseline JPEG of width by height. Its one-code Huffman tables make every block of
// the data two bits, all zero; `dataBytes` bytes of them follow, then the end mark, which
// leaves the rest of a large picture to the decoder's filling in.
std::string Jpeg(uint32_t width, uint32_t height, size_t dataBytes)
{
    std::string quant = "\xff\xdb"s + Big16(67) + std::string(1, '\0') + std::string(64, '\1');
    std::string frame = "\xff\xc0"s + Big16(11) + "\x08" + Big16(height) + Big16(width) + "\x01\x01\x11\x00"s;
    std::string oneCode = std::string(1, '\1') + std::string(15, '\0') + std::string(1, '\0');
    std::string tables = "\xff\xc4"s + Big16(38) + std::string(1, '\0') + oneCode + "\x10" + oneCode;
    std::string scan = "\xff\xda"s + Big16(8) + "\x01\x01\x00\x00\x3f\x00"s;
    return "\xff\xd8"s + quant + frame + tables + scan + std::string(dataBytes, '\0') + "\xff\xd9";
}

void Write(const std::string& path, const std::string& bytes, mode_t mode = 0644)
{
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, mode);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
}

// Forty folders of 120 characters each, one inside the other: some 4,900 characters down.
void MakeDeepPath(const std::string& folder)
{
    ASSERT_EQ(deep_path::Make(folder).size(), 40u) << std::strerror(errno);
}

// Empty files in one folder, made by descriptor: a hundred thousand take a fraction of a second.
void MakeCrowd(const std::string& folder, int entries, int imageEvery)
{
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    char name[64];
    for (int i = 0; i < entries; ++i) {
        std::snprintf(name, sizeof name, i % imageEvery == 0 ? "Entry %06d.jpg" : "entry %06d.txt", i);
        int file = ::openat(fd, name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(file, 0) << name << ": " << std::strerror(errno);
        ::close(file);
    }
    ::close(fd);
}

} // namespace

std::string BadPicture(const std::string& kind)
{
    if (kind == "jpg") // cut off inside its Huffman tables
        return Jpeg(64, 64, 64).substr(0, 100);
    if (kind == "png") { // a data chunk that claims two gigabytes
        std::string png = Png(16, 16, 16);
        size_t data = png.find("IDAT") - 4;
        return png.replace(data, 4, Big32(0x7FFFFFF0u));
    }
    if (kind == "tif") // a directory of 65535 entries at the start of nothing in particular
        return "II*\0"s + Little32(8) + Little16(0xFFFF) + Garbage(600, 1);
    if (kind == "gif") // a screen of 32767 by 32767 with a colour table cut short
        return "GIF89a"s + Little16(0x7FFF) + Little16(0x7FFF) + "\xf7\x00\x00"s + Garbage(300, 2);
    if (kind == "bmp") // a header that promises more than the file has
        return "BM"s + Little32(1 << 30) + Little32(0) + Little32(54) + Little32(40) + Little32(0x7FFFFFFF) +
               Little32(0x80000001u) + Little16(1) + Little16(24) + Garbage(400, 3);
    if (kind == "dcm")
        return std::string(128, '\0') + "DICM" + Garbage(700, 4);
    if (kind == "pict") // a version 2 opening, then noise
        return std::string(512, '\0') + Big16(0) + Big16(0) + Big16(0) + Big16(480) + Big16(640) + "\x00\x11\x02\xff"s +
               Garbage(500, 5);
    if (kind == "bomb.png") // 60000 by 60000, with data for its first 64 rows in 4 KB
        return Png(60000, 60000, 64, true);
    if (kind == "bomb.jpg") // 65500 by 65500, two thousand blocks' worth of data
        return Jpeg(65500, 65500, 512);
    ADD_FAILURE() << "no such bad picture: " << kind;
    return "";
}

BadTreeNames MakeBadTree(const std::string& root, int crowd, int crowdImageEvery)
{
    BadTreeNames names;
    EXPECT_EQ(::mkdir(root.c_str(), 0755), 0) << root;
    Make(root, {"names/bad\xff\xfe.jpg", "names/c\xc3(.png", "names/tab\there.jpg", "names/new\nline.png",
                "names/sub\xc3/e\xe9t\xe9.gif", "names/valid \xc3\xa9t\xc3\xa9.bmp", "links/", "fifo/y.png",
                "locked/secret.jpg", "locked/inner/deep.png", "deep/", "broken/"});
    names.listed = {"names/bad\xff\xfe.jpg", "names/tab\there.jpg", "names/new\nline.png", "names/sub\xc3/e\xe9t\xe9.gif",
                    "links/gone.jpg", "links/alias.png", "fifo/y.png", "broken/private.jpg", "broken/bomb.png"};
    names.unlisted = {"links/loop.jpg", "links/pipe.jpg", "fifo/x.jpg", "locked/secret.jpg", "locked/inner/deep.png"};

    Write(root + "/broken/ok.png", Png(16, 16, 16));
    for (const char* kind : {"jpg", "png", "tif", "gif", "bmp", "dcm", "pict"})
        Write(root + "/broken/damaged." + kind, BadPicture(kind));
    Write(root + "/broken/bomb.png", BadPicture("bomb.png"));
    Write(root + "/broken/bomb.jpg", BadPicture("bomb.jpg"));
    Write(root + "/broken/private.jpg", Png(16, 16, 16), 0600); // listed, but only root may read it

    EXPECT_EQ(::mkfifo((root + "/fifo/x.jpg").c_str(), 0666), 0);
    EXPECT_EQ(::symlink("..", (root + "/links/loop.jpg").c_str()), 0);      // a loop, named as a picture
    EXPECT_EQ(::symlink("../..", (root + "/links/up").c_str()), 0);         // out of the tree
    EXPECT_EQ(::symlink("nowhere.jpg", (root + "/links/gone.jpg").c_str()), 0);
    EXPECT_EQ(::symlink("../broken/ok.png", (root + "/links/alias.png").c_str()), 0);
    EXPECT_EQ(::symlink("../fifo/x.jpg", (root + "/links/pipe.jpg").c_str()), 0);
    EXPECT_EQ(::chmod((root + "/locked").c_str(), 0), 0);

    MakeDeepPath(root + "/deep");
    MakeCrowd(root + "/crowd", crowd, crowdImageEvery);
    return names;
}

} // namespace e2e::files
