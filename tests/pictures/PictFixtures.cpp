// The PICT writer of the tests: headers, PackBits, regions and pixel opcodes.
#include "pictures/PictFixtures.h"

#include <algorithm>
#include <cstring>

namespace pict_fixtures {

PictWriter::PictWriter(Version version, Rect16 frame, bool fileHeader, Rect16 source)
    : origin_(fileHeader ? 512 : 0), version_(version)
{
    if (fileHeader)
        out_ = QByteArray(512, '\0');
    Word(0).Rect(frame); // the size word is filled in at the end
    if (version == Version::One) {
        Byte(0x11).Byte(0x01);
        return;
    }
    Word(0x0011).Word(0x02FF).Word(0x0C00);
    if (version == Version::Two) {
        Word(0xFFFF).Word(0xFFFF);
        Long(uint32_t(frame.left) << 16).Long(uint32_t(frame.top) << 16);
        Long(uint32_t(frame.right) << 16).Long(uint32_t(frame.bottom) << 16).Long(0);
        return;
    }
    if (source.bottom <= source.top)
        source = frame;
    uint32_t res = uint32_t(72 * (source.right - source.left) / (frame.right - frame.left));
    Word(0xFFFE).Word(0).Long(res << 16).Long(res << 16).Rect(source).Long(0);
}

PictWriter& PictWriter::Op(uint16_t opcode)
{
    if (version_ == Version::One)
        return Byte(uint8_t(opcode));
    if ((out_.size() - origin_) & 1)
        Byte(0);
    return Word(opcode);
}

PictWriter& PictWriter::Byte(uint8_t v)
{
    out_.append(char(v));
    return *this;
}

PictWriter& PictWriter::Word(uint16_t v)
{
    return Byte(uint8_t(v >> 8)).Byte(uint8_t(v));
}

PictWriter& PictWriter::Long(uint32_t v)
{
    return Word(uint16_t(v >> 16)).Word(uint16_t(v));
}

PictWriter& PictWriter::Rect(Rect16 r)
{
    return Word(uint16_t(r.top)).Word(uint16_t(r.left)).Word(uint16_t(r.bottom)).Word(uint16_t(r.right));
}

PictWriter& PictWriter::Text(const QByteArray& s)
{
    return Byte(uint8_t(s.size())).Bytes(s.left(255));
}

PictWriter& PictWriter::Bytes(const QByteArray& b)
{
    out_.append(b);
    return *this;
}

QByteArray PictWriter::Finish()
{
    Op(0x00FF);
    QByteArray done = out_;
    int size = int(done.size()) - origin_;
    done[origin_] = char(size >> 8);
    done[origin_ + 1] = char(size);
    return done;
}

QByteArray PackBits(const QByteArray& row, int unit)
{
    QByteArray out;
    const int n = int(row.size()) / unit;
    auto same = [&](int a, int b) { return std::memcmp(row.constData() + a * unit, row.constData() + b * unit, size_t(unit)) == 0; };
    for (int i = 0; i < n;) {
        int run = 1;
        while (i + run < n && run < 128 && same(i, i + run))
            ++run;
        if (run >= 2) {
            out.append(char(1 - run)).append(row.mid(i * unit, unit));
            i += run;
            continue;
        }
        int j = i + 1;
        while (j < n && j - i < 128 && !(j + 1 < n && same(j, j + 1)))
            ++j;
        out.append(char(j - i - 1)).append(row.mid(i * unit, (j - i) * unit));
        i = j;
    }
    return out;
}

QByteArray RectRegion(Rect16 r)
{
    QByteArray out;
    for (int v : {10, int(r.top), int(r.left), int(r.bottom), int(r.right)})
        out.append(char(v >> 8)).append(char(v));
    return out;
}

QByteArray RegionFromRows(Rect16 bounds, const std::vector<std::vector<bool>>& rows)
{
    QByteArray data;
    auto word = [&](int v) { data.append(char(v >> 8)).append(char(v)); };
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    auto at = [&](int y, int x) { return y >= 0 && y < height && x >= 0 && x < width && rows[size_t(y)][size_t(x)]; };
    for (int y = 0; y <= height; ++y) {
        std::vector<int> points;
        bool before = false;
        for (int x = 0; x <= width; ++x) {
            bool flip = at(y, x) != at(y - 1, x);
            if (flip != before)
                points.push_back(bounds.left + x);
            before = flip;
        }
        if (points.empty())
            continue;
        word(bounds.top + y);
        for (int x : points)
            word(x);
        word(0x7FFF);
    }
    word(0x7FFF);
    QByteArray head = RectRegion(bounds);
    int size = 10 + int(data.size());
    head[0] = char(size >> 8);
    head[1] = char(size);
    return head + data;
}

namespace {

int RowBytes(const BitsOp& op, int width)
{
    if (!op.pixMap)
        return (width + 15) / 16 * 2;
    if (op.depth == 16)
        return width * 2;
    if (op.depth == 32)
        return width * 4;
    return (width * op.depth + 15) / 16 * 2;
}

std::vector<QRgb> PaletteOf(const QImage& image)
{
    std::vector<QRgb> palette;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::find(palette.begin(), palette.end(), image.pixel(x, y)) == palette.end())
                palette.push_back(image.pixel(x, y));
    return palette;
}

// One row as stored before any packing: indices, 5-5-5 words, xRGB, RGB or planes.
QByteArray PlainRow(const BitsOp& op, const QImage& image, int y, int rowBytes, const std::vector<QRgb>& palette)
{
    const int w = image.width();
    QByteArray row(rowBytes, '\0');
    auto put = [&](int i, int v) { row[i] = char(v); };
    for (int x = 0; x < w; ++x) {
        QRgb c = image.pixel(x, y);
        if (!op.pixMap || op.depth <= 8) {
            int index = op.pixMap ? int(std::find(palette.begin(), palette.end(), c) - palette.begin())
                                  : (qGray(c) < 128 ? 1 : 0);
            int depth = op.pixMap ? op.depth : 1, perByte = 8 / depth;
            row[x / perByte] = char(row[x / perByte] | index << (8 - depth * (x % perByte + 1)));
        } else if (op.depth == 16) {
            int v = (qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3;
            put(2 * x, v >> 8), put(2 * x + 1, v);
        } else if (op.packType == 1 || rowBytes < 8) {
            put(4 * x, 0), put(4 * x + 1, qRed(c)), put(4 * x + 2, qGreen(c)), put(4 * x + 3, qBlue(c));
        } else if (op.packType == 2) {
            put(3 * x, qRed(c)), put(3 * x + 1, qGreen(c)), put(3 * x + 2, qBlue(c));
        } else {
            int planes = op.cmpCount, first = planes - 3;
            if (planes == 4)
                put(x, qAlpha(c));
            put(first * w + x, qRed(c)), put((first + 1) * w + x, qGreen(c)), put((first + 2) * w + x, qBlue(c));
        }
    }
    if (op.pixMap && op.depth == 32 && op.packType == 2 && rowBytes >= 8)
        row.truncate(3 * w);
    if (op.pixMap && op.depth == 32 && op.packType != 1 && op.packType != 2 && rowBytes >= 8)
        row.truncate(op.cmpCount * w);
    return row;
}

void WritePixMapFields(PictWriter& w, const BitsOp& op)
{
    const bool direct = op.depth > 8;
    w.Word(0).Word(uint16_t(op.packType)).Long(0).Long(72u << 16).Long(72u << 16);
    w.Word(direct ? 16 : 0).Word(uint16_t(op.depth)).Word(uint16_t(op.depth == 32 ? op.cmpCount : direct ? 3 : 1));
    w.Word(uint16_t(op.depth == 32 ? 8 : op.depth == 16 ? 5 : op.depth)).Long(0).Long(0).Long(0);
}

void WriteColourTable(PictWriter& w, const std::vector<QRgb>& palette, bool byPosition)
{
    w.Long(0).Word(byPosition ? 0x8000 : 0).Word(uint16_t(palette.size() - 1));
    for (size_t i = 0; i < palette.size(); ++i)
        w.Word(uint16_t(byPosition ? 0 : i)).Word(uint16_t(qRed(palette[i]) * 257)).Word(uint16_t(qGreen(palette[i]) * 257))
            .Word(uint16_t(qBlue(palette[i]) * 257));
}

} // namespace

namespace {

void WriteRows(PictWriter& w, const BitsOp& op, const QImage& image, int rowBytes, const std::vector<QRgb>& palette)
{
    const bool raw = op.opcode == 0x90 || op.opcode == 0x91 || rowBytes < 8 ||
                     (op.pixMap && op.depth > 8 && op.packType == 1) || (op.pixMap && op.depth == 32 && op.packType == 2);
    for (int y = 0; y < image.height(); ++y) {
        QByteArray row = PlainRow(op, image, y, rowBytes, palette);
        if (raw) {
            w.Bytes(row);
            continue;
        }
        QByteArray packed = PackBits(row, op.pixMap && op.depth == 16 ? 2 : 1);
        if (rowBytes > 250)
            w.Word(uint16_t(packed.size()));
        else
            w.Byte(uint8_t(packed.size()));
        w.Bytes(packed);
    }
}

// The row bytes, bounds and pixel map fields with any colour table.
void WritePixMap(PictWriter& w, const BitsOp& op, int rowBytes, const std::vector<QRgb>& palette)
{
    w.Word(uint16_t(rowBytes | (op.pixMap ? 0x8000 : 0))).Rect(op.bounds);
    if (op.pixMap) {
        WritePixMapFields(w, op);
        if (op.opcode < 0x9A && op.depth <= 8)
            WriteColourTable(w, palette, op.byPosition);
    }
}

} // namespace

void WriteBitsOp(PictWriter& w, const BitsOp& op, const QImage& image)
{
    const int rowBytes = RowBytes(op, image.width());
    const std::vector<QRgb> palette = op.pixMap && op.depth <= 8 ? PaletteOf(image) : std::vector<QRgb>();
    w.Op(op.opcode);
    if (op.opcode >= 0x9A)
        w.Long(0xFF);
    WritePixMap(w, op, rowBytes, palette);
    w.Rect(op.src.bottom > op.src.top ? op.src : op.bounds).Rect(op.dst).Word(op.mode);
    if (op.opcode & 1)
        w.Bytes(op.region);
    WriteRows(w, op, image, rowBytes, palette);
}

void WritePixPatOp(PictWriter& w, uint16_t opcode, const QImage& image)
{
    BitsOp op;
    op.opcode = 0x98;
    op.depth = 8;
    op.bounds = Rect16{0, 0, int16_t(image.height()), int16_t(image.width())};
    const int rowBytes = RowBytes(op, image.width());
    const std::vector<QRgb> palette = PaletteOf(image);
    w.Op(opcode).Word(1).Long(0xAA55AA55).Long(0xAA55AA55);
    WritePixMap(w, op, rowBytes, palette);
    WriteRows(w, op, image, rowBytes, palette);
}

QByteArray DirectPict(const QImage& image, int packType, int cmpCount, bool fileHeader)
{
    Rect16 frame{0, 0, int16_t(image.height()), int16_t(image.width())};
    PictWriter w(PictWriter::Version::Two, frame, fileHeader);
    BitsOp op;
    op.packType = packType;
    op.cmpCount = cmpCount;
    op.bounds = op.dst = frame;
    WriteBitsOp(w, op, image);
    return w.Finish();
}

QImage Quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, low = y >= height / 2;
            image.setPixel(x, y, low ? (right ? qRgb(255, 255, 0) : qRgb(0, 0, 255))
                                     : (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0)));
        }
    return image;
}

} // namespace pict_fixtures
