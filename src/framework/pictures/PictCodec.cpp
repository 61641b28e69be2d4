// PICT pictures, read by a walker of our own over their opcodes: the bitmaps, pixel maps and
// QuickTime images they hold are composed into the picture's frame on a white ground.
#include "PictFormat.h"

#include <algorithm>
#include <cmath>

namespace fw::pictures {
namespace {

constexpr size_t kFileHeaderBytes = 512;

struct Header {
    size_t origin = 0;  // where the picture starts: after the file header, when there is one
    size_t firstOp = 0; // the first opcode after the version and the header opcode
    bool wordOpcodes = false;
    pict::Rect frame;
    pict::Rect space; // the drawing coordinates that cover the frame
};

// picSize, picFrame, then the version: 0x11 0x01 for version 1, or 0x0011 0x02FF and usually
// the header opcode 0x0C00 for version 2. Its 24 bytes begin with -1, or -2 for an extended
// version 2 picture, which also gives the source rectangle its opcodes are drawn in.
std::optional<Header> ReadHeader(Bytes file, size_t origin)
{
    if (file.size < origin + 12)
        return std::nullopt;
    pict::Cursor in(file.data + origin, file.size - origin);
    Header h;
    h.origin = origin;
    in.Skip(2);
    h.frame = h.space = pict::ReadRect(in);
    if (h.frame.Empty())
        return std::nullopt;
    uint8_t a = in.U8(), b = in.U8();
    if (a == 0x11 && b == 0x01) {
        h.firstOp = in.Pos();
        return h;
    }
    if (a != 0x00 || b != 0x11 || in.U16() != 0x02FF || !in.Ok())
        return std::nullopt;
    h.wordOpcodes = true;
    h.firstOp = in.Pos();
    if (in.U16() == 0x0C00) {
        int16_t version = in.S16();
        in.Skip(2 + 4 + 4);
        pict::Rect source = pict::ReadRect(in);
        if (version == -2 && !source.Empty())
            h.space = source;
        h.firstOp += 2 + 24;
    }
    return h;
}

std::optional<Header> FindHeader(Bytes file)
{
    if (auto h = ReadHeader(file, kFileHeaderBytes))
        return h;
    return ReadHeader(file, 0);
}

std::optional<DecodedPicture> Decode(Bytes file, const Header& h, const Budget& budget)
{
    const int32_t w = h.frame.Width(), height = h.frame.Height();
    if (int64_t(w) * height > budget.maxPixels || budget.maxSide <= 0)
        return std::nullopt;
    const double scale = std::min(1.0, double(budget.maxSide) / std::max(w, height));
    const int cw = std::max(1, int(std::lround(w * scale))), ch = std::max(1, int(std::lround(height * scale)));
    pict::Canvas canvas(cw, ch, h.space);
    if (canvas.Image().isNull())
        return std::nullopt;
    pict::Cursor in(file.data + h.origin, file.size - h.origin);
    in.Skip(h.firstOp);
    pict::WalkOpcodes(in, 0, h.wordOpcodes, canvas, budget);
    if (!canvas.Drawn() || budget.Expired())
        return std::nullopt;
    return DecodedPicture{std::move(canvas.Image()), w, height};
}

} // namespace

bool IsPict(Bytes file)
{
    return FindHeader(file).has_value();
}

std::optional<DecodedPicture> DecodePict(Bytes file, const Budget& budget)
{
    // A picture without the file header can't be told apart from one with it by anything but
    // what follows, so the second reading is tried when the first gives nothing.
    std::optional<Header> first = FindHeader(file);
    if (!first)
        return std::nullopt;
    if (auto picture = Decode(file, *first, budget))
        return picture;
    std::optional<Header> second = first->origin > 0 ? ReadHeader(file, 0) : std::nullopt;
    return second ? Decode(file, *second, budget) : std::nullopt;
}

} // namespace fw::pictures
