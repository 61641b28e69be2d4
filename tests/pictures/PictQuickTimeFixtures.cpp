// QuickTime images inside PICT files for the tests, and the small pictures that seed the fuzzer.
#include "pictures/PictFixtures.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace pict_fixtures {
namespace {

struct BigEndian {
    QByteArray out;
    BigEndian& Byte(int v) { return out.append(char(v)), *this; }
    BigEndian& Word(int v) { return Byte(v >> 8).Byte(v); }
    BigEndian& Long(uint32_t v) { return Word(int(v >> 16)).Word(int(v & 0xFFFF)); }
    BigEndian& Rect(Rect16 r) { return Word(r.top).Word(r.left).Word(r.bottom).Word(r.right); }
};

int IndexOf(const std::vector<QRgb>& palette, QRgb c)
{
    auto at = std::find(palette.begin(), palette.end(), c | 0xFF000000u);
    return at == palette.end() ? 0 : int(at - palette.begin());
}

// One pixel as the QuickTime codecs store it at 16, 24 and 32 bits.
void PutPixel(BigEndian& b, QRgb c, int depth)
{
    if (depth == 16)
        b.Word((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3);
    else if (depth == 24)
        b.Byte(qRed(c)).Byte(qGreen(c)).Byte(qBlue(c));
    else
        b.Byte(0xFF).Byte(qRed(c)).Byte(qGreen(c)).Byte(qBlue(c));
}

// The Animation codec's units of one line: four indices at 8 bits, one pixel otherwise.
std::vector<QByteArray> Units(const QImage& image, int y, int depth, const std::vector<QRgb>& palette)
{
    std::vector<QByteArray> units;
    const int perUnit = depth == 8 ? 4 : 1;
    for (int x = 0; x < image.width(); x += perUnit) {
        BigEndian b;
        for (int k = 0; k < perUnit; ++k) {
            QRgb c = image.pixel(std::min(x + k, image.width() - 1), y);
            if (depth == 8)
                b.Byte(IndexOf(palette, c));
            else
                PutPixel(b, c, depth);
        }
        units.push_back(b.out);
    }
    return units;
}

} // namespace

void WriteQuickTimeOp(PictWriter& w, const QuickTimeOp& op)
{
    BigEndian b;
    b.Word(0);
    const auto scale = uint32_t(std::lround(op.scale * 65536));
    b.Long(scale).Long(0).Long(0).Long(0).Long(scale).Long(0);
    b.Long(uint32_t(op.tx) << 16).Long(uint32_t(op.ty) << 16).Long(0x40000000u);
    b.Long(0).Rect({}); // no matte
    if (op.opcode == 0x8200)
        b.Word(0).Rect(op.src).Long(0).Long(uint32_t(op.mask.size())).out.append(op.mask);
    const bool table = !op.colourTable.empty();
    b.Long(86 + (table ? 8 + 8 * uint32_t(op.colourTable.size()) : 0));
    b.out.append(op.codec, 4);
    b.Long(0).Word(0).Word(0).Word(0).Word(0).Long(0).Long(0).Long(0);
    b.Word(op.width).Word(op.height).Long(72u << 16).Long(72u << 16).Long(uint32_t(op.data.size())).Word(1);
    b.out.append(QByteArray(32, '\0'));
    b.Word(op.depth).Word(table ? 0 : 0xFFFF);
    if (table) {
        b.Long(0).Word(0).Word(int(op.colourTable.size()) - 1);
        for (size_t i = 0; i < op.colourTable.size(); ++i) {
            QRgb c = op.colourTable[i];
            b.Word(int(i)).Word(qRed(c) * 257).Word(qGreen(c) * 257).Word(qBlue(c) * 257);
        }
    }
    b.out.append(op.data);
    w.Op(op.opcode).Long(uint32_t(b.out.size())).Bytes(b.out);
}

// Qt reads GIF but does not write it: a GIF of up to four colours whose LZW codes are all
// literals, a clear code before every second one keeping the codes three bits wide.
QByteArray GifPayload(const QImage& image)
{
    std::vector<QRgb> palette;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::find(palette.begin(), palette.end(), image.pixel(x, y)) == palette.end() && palette.size() < 4)
                palette.push_back(image.pixel(x, y));
    palette.resize(4, 0xFF000000u);
    QByteArray out("GIF89a");
    auto word = [&](int v) { out.append(char(v)).append(char(v >> 8)); };
    word(image.width()), word(image.height());
    out.append(char(0x81)).append('\0').append('\0'); // a global table of 4 colours
    for (QRgb c : palette)
        out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    out.append(',');
    word(0), word(0), word(image.width()), word(image.height());
    out.append('\0').append('\2'); // no local table; LZW codes start at 2 bits (+1)
    QByteArray codes;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](int code) {
        bits |= uint32_t(code) << count;
        for (count += 3; count >= 8; count -= 8, bits >>= 8)
            codes.append(char(bits & 0xFF));
    };
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x, ++n) {
            if (n % 2 == 0)
                put(4); // clear
            put(int(std::find(palette.begin(), palette.end(), image.pixel(x, y)) - palette.begin()));
        }
    put(5); // end of information
    if (count > 0)
        codes.append(char(bits & 0xFF));
    for (int at = 0; at < codes.size(); at += 255)
        out.append(char(std::min<qsizetype>(255, codes.size() - at))).append(codes.mid(at, 255));
    return out.append('\0').append(';');
}

QByteArray DibPayload(const QImage& image, bool rle8)
{
    if (!rle8)
        return EncodeWithQt(image, "bmp").mid(14);
    std::vector<QRgb> palette;
    QByteArray pixels;
    for (int y = image.height() - 1; y >= 0; --y) { // bottom row first
        for (int x = 0; x < image.width();) {
            const QRgb c = image.pixel(x, y);
            auto at = std::find(palette.begin(), palette.end(), c);
            const int index = int(at - palette.begin());
            if (at == palette.end())
                palette.push_back(c);
            int run = 1;
            while (x + run < image.width() && run < 255 && image.pixel(x + run, y) == c)
                ++run;
            pixels.append(char(run)).append(char(index));
            x += run;
        }
        pixels.append('\0').append('\0');
    }
    pixels.append('\0').append('\1');
    QByteArray out;
    auto le = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(char(v >> (8 * i)));
    };
    le(40, 4), le(uint32_t(image.width()), 4), le(uint32_t(image.height()), 4), le(1, 2), le(8, 2);
    le(1, 4), le(uint32_t(pixels.size()), 4), le(2835, 4), le(2835, 4), le(uint32_t(palette.size()), 4), le(0, 4);
    for (QRgb c : palette)
        le(c & 0xFFFFFFu, 4); // blue, green, red, then a zero byte
    return out + pixels;
}

QByteArray EncodeWithQt(const QImage& image, const char* format)
{
    if (QByteArray(format) == "gif")
        return GifPayload(image);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (QByteArray(format) == "jpeg")
        writer.setQuality(95);
    writer.write(image);
    return bytes;
}

QByteArray RawPayload(const QImage& image, int depth, const std::vector<QRgb>& palette)
{
    BigEndian b;
    const int bits = depth > 32 ? depth - 32 : depth;
    for (int y = 0; y < image.height(); ++y) {
        const int start = int(b.out.size());
        if (bits > 8) {
            for (int x = 0; x < image.width(); ++x)
                PutPixel(b, image.pixel(x, y), bits);
        } else {
            QByteArray row((image.width() * bits + 7) / 8, '\0');
            for (int x = 0; x < image.width(); ++x) {
                QRgb c = image.pixel(x, y);
                int index = depth > 32 ? (255 - qGray(c)) >> (8 - bits) : IndexOf(palette, c);
                int perByte = 8 / bits;
                row[x / perByte] = char(row[x / perByte] | index << (8 - bits * (x % perByte + 1)));
            }
            b.out.append(row);
        }
        if ((b.out.size() - start) & 1)
            b.Byte(0);
    }
    return b.out;
}

QByteArray AnimationPayload(const QImage& image, int depth, const std::vector<QRgb>& palette)
{
    BigEndian lines;
    for (int y = 0; y < image.height(); ++y) {
        std::vector<QByteArray> units = Units(image, y, depth, palette);
        lines.Byte(1); // no pixels skipped
        for (size_t i = 0; i < units.size();) {
            size_t run = 1;
            while (i + run < units.size() && run < 127 && units[i + run] == units[i])
                ++run;
            if (run >= 2) {
                lines.Byte(-int(run)).out.append(units[i]);
                i += run;
                continue;
            }
            size_t j = i + 1;
            while (j < units.size() && j - i < 127 && !(j + 1 < units.size() && units[j] == units[j + 1]))
                ++j;
            lines.Byte(int(j - i));
            for (size_t k = i; k < j; ++k)
                lines.out.append(units[k]);
            i = j;
        }
        lines.Byte(0xFF); // the line's end
    }
    BigEndian chunk;
    chunk.Long(uint32_t(6 + lines.out.size())).Word(0);
    return chunk.out + lines.out;
}

std::vector<std::pair<std::string, QByteArray>> PictSeeds()
{
    std::vector<std::pair<std::string, QByteArray>> seeds;
    const QImage image = Quadrants(16, 8);
    const Rect16 frame{0, 0, 8, 16};
    seeds.emplace_back("direct32-pack4.pict", DirectPict(image, 4, 3));
    seeds.emplace_back("direct32-pack4-alpha.pict", DirectPict(image, 4, 4));
    seeds.emplace_back("direct32-pack1.pict", DirectPict(image, 1, 3));
    seeds.emplace_back("direct32-pack2.pict", DirectPict(image, 2, 3));
    for (auto [name, opcode, depth, pixMap] : {std::tuple("bitmap-v1.pict", 0x98, 1, false),
                                               std::tuple("indexed8.pict", 0x98, 8, true),
                                               std::tuple("indexed2-bits.pict", 0x90, 2, true),
                                               std::tuple("direct16.pict", 0x9A, 16, true)}) {
        PictWriter w(pixMap ? PictWriter::Version::Two : PictWriter::Version::One, frame, !pixMap);
        BitsOp op;
        op.opcode = uint16_t(opcode);
        op.depth = depth;
        op.pixMap = pixMap;
        op.bounds = op.dst = frame;
        WriteBitsOp(w, op, image);
        seeds.emplace_back(name, w.Finish());
    }
    PictWriter rgn(PictWriter::Version::Two, frame);
    BitsOp op;
    op.opcode = 0x9B;
    op.bounds = op.dst = frame;
    op.region = ShapeRegion(frame, [](int x, int y) { return (x + y) % 3 != 0; });
    WriteBitsOp(rgn, op, image);
    seeds.emplace_back("direct-rgn.pict", rgn.Finish());
    for (auto [name, codec, data, depth] :
         {std::tuple("qt-jpeg.pict", "jpeg", EncodeWithQt(image, "jpeg"), 24),
          std::tuple("qt-png.pict", "png ", EncodeWithQt(image, "png"), 24),
          std::tuple("qt-raw.pict", "raw ", RawPayload(image, 32), 32),
          std::tuple("qt-rle.pict", "rle ", AnimationPayload(image, 24), 24),
          std::tuple("qt-wrle.pict", "WRLE", DibPayload(image, true), 8)}) {
        PictWriter w(PictWriter::Version::Two, frame);
        QuickTimeOp qt;
        std::copy(codec, codec + 5, qt.codec);
        qt.width = 16, qt.height = 8, qt.depth = depth, qt.data = data;
        WriteQuickTimeOp(w, qt);
        seeds.emplace_back(name, w.Finish());
    }
    return seeds;
}

} // namespace pict_fixtures
