// The opcodes that set QuickDraw's state, and the inks its verbs draw with.
#include "QuickDrawState.h"

#include <QImage>

#include <algorithm>
#include <bit>
#include <cstring>

namespace fw::pictures::pict {
namespace {

QRgb ReadRgb(Cursor& in)
{
    int r = in.U16() >> 8, g = in.U16() >> 8;
    return qRgb(r, g, in.U16() >> 8);
}

// The eight colours of the original QuickDraw, by their planes' constants; any other value
// keeps the colour it replaces.
std::optional<QRgb> ClassicColour(uint32_t value)
{
    switch (value) {
    case 33: return qRgb(0, 0, 0);
    case 30: return qRgb(255, 255, 255);
    case 205: return qRgb(255, 0, 0);
    case 341: return qRgb(0, 255, 0);
    case 409: return qRgb(0, 0, 255);
    case 273: return qRgb(0, 255, 255);
    case 137: return qRgb(255, 0, 255);
    case 69: return qRgb(255, 255, 0);
    default: return std::nullopt;
    }
}

QRgb Mix(QRgb a, QRgb b, double share)
{
    auto mix = [&](int x, int y) { return int(x * share + y * (1 - share) + 0.5); };
    return qRgb(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b)));
}

} // namespace

QuickDrawState::QuickDrawState(Canvas& canvas) : canvas_(canvas), macRoman_("macintosh")
{
    std::memset(pen_.bits, 0xFF, 8);
    std::memset(fill_.bits, 0xFF, 8);
}

bool QuickDrawState::Handles(uint16_t op)
{
    switch (op) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x07: case 0x08: case 0x09: case 0x0A:
    case 0x0B: case 0x0C: case 0x0D: case 0x0E: case 0x0F: case 0x12: case 0x13: case 0x14: case 0x1A:
    case 0x1B: case 0x20: case 0x21: case 0x22: case 0x23: case 0x28: case 0x29: case 0x2A: case 0x2B:
    case 0x2C:
        return true;
    default:
        // The shapes: five verbs of each kind, with their geometry and in the "same" forms.
        return op >= 0x30 && op < 0x90 && (op & 7) <= 4;
    }
}

bool QuickDrawState::Step(Cursor& in, uint16_t op)
{
    if (op >= 0x30)
        return ShapeOp(in, op);
    if (op >= 0x20 && op <= 0x23)
        return LineOp(in, op);
    if ((op >= 0x28 && op <= 0x2C) || op == 0x03 || op == 0x04 || op == 0x05 || op == 0x0D)
        return TextOp(in, op);
    return StateOp(in, op);
}

bool QuickDrawState::StateOp(Cursor& in, uint16_t op)
{
    switch (op) {
    case 0x01:
        return SetClip(in);
    case 0x07:
        penHeight_ = in.S16();
        penWidth_ = in.S16();
        return in.Ok();
    case 0x08:
        penMode_ = in.U16();
        Changed();
        return in.Ok();
    case 0x0B:
        ovalSize_.setY(in.S16());
        ovalSize_.setX(in.S16());
        return in.Ok();
    case 0x0C: {
        const int16_t dh = in.S16(), dv = in.S16();
        canvas_.MoveOrigin(dh, dv);
        Changed(); // patterns stay put on the canvas as the coordinates move
        ApplyClip();
        return in.Ok();
    }
    default:
        return ColourOp(in, op);
    }
}

bool QuickDrawState::ColourOp(Cursor& in, uint16_t op)
{
    QRgb& colour = op == 0x0E || op == 0x1A ? fg_ : bg_;
    if (op == 0x1A || op == 0x1B) {
        colour = ReadRgb(in);
    } else if (op == 0x0E || op == 0x0F) {
        colour = ClassicColour(in.U32()).value_or(colour);
    } else {
        return PatternOp(in, op);
    }
    Changed();
    return in.Ok();
}

bool QuickDrawState::PatternOp(Cursor& in, uint16_t op)
{
    Pattern& pattern = op == 0x09 || op == 0x13 ? pen_ : op == 0x0A || op == 0x14 ? fill_ : back_;
    Changed();
    if (op >= 0x12) {
        PixPat pixPat;
        if (!ReadPixPat(in, pixPat))
            return false;
        std::memcpy(pattern.bits, pixPat.bits, 8);
        pattern.colour = pixPat.colour;
        return true;
    }
    for (uint8_t& row : pattern.bits)
        row = in.U8();
    pattern.colour.reset();
    return in.Ok();
}

bool QuickDrawState::SetClip(Cursor& in)
{
    clip_ = Region::Read(in);
    ApplyClip();
    return clip_.has_value();
}

// The clip is kept in drawing coordinates and laid on the canvas again when the origin moves,
// as QuickDraw leaves the clip region's coordinates alone on SetOrigin.
void QuickDrawState::ApplyClip()
{
    if (!clip_)
        return canvas_.SetClip(std::nullopt);
    const QRect all = canvas_.PixelBounds();
    const QRegion pixels = canvas_.PixelsOf(*clip_);
    if (clip_->IsRectangle() && pixels.boundingRect().contains(all))
        canvas_.SetClip(std::nullopt);
    else
        canvas_.SetClip(pixels);
}

const QuickDrawState::Ink& QuickDrawState::InkFor(Verb verb)
{
    const int slot = verb == kFrame ? kPaint : verb;
    std::optional<Ink>& ink = inks_[slot - kPaint];
    if (!ink) {
        if (verb == kInvert) {
            ink = Ink{false, QBrush(Qt::white), QPainter::CompositionMode_Difference};
        } else {
            ink = verb == kErase ? MakeInk(back_, kPatCopy)
                  : verb == kFill ? MakeInk(fill_, kPatCopy) : MakeInk(pen_, penMode_);
        }
    }
    return *ink;
}

// A pattern's set bits are drawn in the foreground colour and its clear bits in the
// background's, through the mode; a pixel pattern is all set bits in its own colour. Where a
// pattern's cell is smaller than a canvas pixel it is drawn as its mean, which is what the eye
// sees of it, instead of beating against the pixel grid.
QuickDrawState::Ink QuickDrawState::MakeInk(const Pattern& pattern, uint16_t mode) const
{
    uint8_t bits[8];
    std::memcpy(bits, pattern.bits, 8);
    const QRgb setColour = pattern.colour.value_or(fg_);
    if (pattern.colour)
        std::memset(bits, 0xFF, 8);
    mode = PlainMode(mode);
    if (mode >= kNotSrcCopy && mode <= kNotSrcBic) {
        for (uint8_t& row : bits)
            row = uint8_t(~row);
        mode -= kNotSrcCopy;
    }
    Ink ink;
    QColor set = QColor::fromRgb(setColour), clear = QColor::fromRgb(bg_);
    if (mode == kSrcXor) {
        set = Qt::white;
        ink.composition = QPainter::CompositionMode_Difference;
    }
    if (mode == kSrcBic)
        set = clear;
    const bool opaque = mode != kSrcOr && mode != kSrcXor && mode != kSrcBic;
    if (!opaque)
        clear = Qt::transparent;
    int ones = 0;
    for (uint8_t row : bits)
        ones += std::popcount(row);
    if (ones == 64 || (ones == 0 && opaque)) {
        ink.brush = QBrush(ones ? set : clear);
        return ink;
    }
    if (ones == 0) {
        ink.none = true;
        return ink;
    }
    const double kx = canvas_.ScaleX(), ky = canvas_.ScaleY();
    if (kx < 0.999 || ky < 0.999) {
        QColor mean = opaque ? QColor::fromRgb(Mix(set.rgb(), clear.rgb(), ones / 64.0)) : set;
        if (!opaque)
            mean.setAlphaF(float(ones / 64.0));
        ink.brush = QBrush(mean);
        return ink;
    }
    QImage cell(8, 8, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            cell.setPixel(x, y, (bits[y] >> (7 - x)) & 1 ? set.rgba() : clear.rgba());
    ink.brush = QBrush(cell);
    // The pattern is aligned to the drawing coordinates' origin, as QuickDraw aligns it.
    const Rect& space = canvas_.Space();
    ink.brush.setTransform(QTransform(kx, 0, 0, ky, -space.left * kx, -space.top * ky));
    return ink;
}

} // namespace fw::pictures::pict
