// QuickDraw's text: its font, face, size and mode, and the strings drawn at the text's place
// in the faces installed here that come nearest to the Macintosh's. Text needs the toolkit's
// application for its fonts; without one the strings are stepped over.
#include "QuickDrawState.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <cstring>

namespace fw::pictures::pict {
namespace {

// The classic font numbers and names, and the installed faces that stand in for them.
struct FaceFor {
    int id;
    const char* name;
    const char* families[2];
};
constexpr FaceFor kFaces[] = {
    {0, "Chicago", {"DejaVu Sans", "Liberation Sans"}},      {1, "", {"Liberation Sans", "DejaVu Sans"}},
    {2, "New York", {"Liberation Serif", "DejaVu Serif"}},   {3, "Geneva", {"Liberation Sans", "DejaVu Sans"}},
    {4, "Monaco", {"Liberation Mono", "DejaVu Sans Mono"}},  {20, "Times", {"Liberation Serif", "DejaVu Serif"}},
    {21, "Helvetica", {"Liberation Sans", "DejaVu Sans"}},   {22, "Courier", {"Liberation Mono", "DejaVu Sans Mono"}},
    {23, "Symbol", {"DejaVu Sans", "Liberation Sans"}},      {-1, "Arial", {"Liberation Sans", "DejaVu Sans"}},
    {-1, "Times New Roman", {"Liberation Serif", "DejaVu Serif"}},
    {-1, "Courier New", {"Liberation Mono", "DejaVu Sans Mono"}},
};

QStringList Families(int id, const QString& name)
{
    for (const FaceFor& face : kFaces)
        if ((name.isEmpty() && face.id == id) || (!name.isEmpty() && name.compare(face.name, Qt::CaseInsensitive) == 0))
            return {face.families[0], face.families[1]};
    if (!name.isEmpty())
        return {name, "Liberation Sans", "DejaVu Sans"};
    return {"Liberation Sans", "DejaVu Sans"}; // the application font, Geneva as a rule
}

bool HaveFonts()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

bool QuickDrawState::TextOp(Cursor& in, uint16_t op)
{
    switch (op) {
    case 0x03:
        textFont_ = in.U16();
        break;
    case 0x04:
        textFace_ = in.U8();
        break;
    case 0x05:
        textMode_ = in.U16();
        break;
    case 0x0D:
        textSize_ = in.S16();
        break;
    case 0x2C:
        return FontName(in);
    default: {
        // LongText places the text; the others move it from where the last text was placed.
        if (op == 0x28) {
            const int16_t v = in.S16();
            textAt_ = QPoint(in.S16(), v);
        }
        const int dh = op == 0x29 || op == 0x2B ? in.U8() : 0, dv = op == 0x2A || op == 0x2B ? in.U8() : 0;
        textAt_ += QPoint(dh, dv);
        const uint8_t count = in.U8();
        if (!in.Has(count))
            return in.Fail(), false;
        DrawString(QByteArray(reinterpret_cast<const char*>(in.Here()), count));
        return in.Skip(count);
    }
    }
    font_.reset();
    return in.Ok();
}

// A font's number and name, so that a later TxFont of that number means that name.
bool QuickDrawState::FontName(Cursor& in)
{
    Cursor data = in.Take(in.U16());
    const int id = data.U16();
    const uint8_t length = data.U8();
    if (!data.Has(length))
        return data.Ok();
    if (fontNames_.size() < 1024 || fontNames_.count(id))
        fontNames_[id] = QString::fromLatin1(reinterpret_cast<const char*>(data.Here()), length);
    font_.reset();
    return in.Ok();
}

QFont QuickDrawState::MakeFont() const
{
    auto named = fontNames_.find(textFont_);
    QFont font;
    font.setFamilies(Families(textFont_, named == fontNames_.end() ? QString() : named->second));
    font.setPixelSize(textSize_ > 0 ? std::min<int>(textSize_, 2048) : 12);
    font.setBold(textFace_ & 1);
    font.setItalic(textFace_ & 2);
    font.setUnderline(textFace_ & 4);
    if (textFace_ & 32)
        font.setStretch(QFont::Condensed);
    if (textFace_ & 64)
        font.setStretch(QFont::Expanded);
    return font;
}

// The string goes on the text's baseline, in drawing coordinates scaled to the canvas. The modes
// are those of the text's source: or draws the glyphs, copy on the background colour too, xor
// inverts under them and bic draws them in the background colour.
void QuickDrawState::DrawString(const QByteArray& bytes)
{
    if (bytes.isEmpty() || !HaveFonts())
        return;
    const QString text = macRoman_.isValid() ? QString(macRoman_(bytes)) : QString::fromLatin1(bytes);
    macRoman_.resetState();
    if (!font_)
        font_ = MakeFont();
    const Rect& space = canvas_.Space();
    const double kx = canvas_.ScaleX(), ky = canvas_.ScaleY();
    QPainter& painter = canvas_.Painter();
    painter.setTransform(QTransform(kx, 0, 0, ky, -space.left * kx, -space.top * ky));
    painter.setFont(*font_);
    const QPointF at(textAt_);
    const uint16_t mode = PlainMode(textMode_);
    QColor colour = QColor::fromRgb(fg_);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (mode == kSrcCopy || mode == kNotSrcCopy) {
        const QFontMetricsF metrics(*font_);
        painter.fillRect(QRectF(at.x(), at.y() - metrics.ascent(), metrics.horizontalAdvance(text), metrics.height()),
                         QColor::fromRgb(bg_));
    } else if (mode == kSrcXor || mode == kNotSrcXor) {
        colour = Qt::white;
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
    } else if (mode == kSrcBic || mode == kNotSrcBic) {
        colour = QColor::fromRgb(bg_);
    }
    painter.setPen(colour);
    painter.drawText(at, text);
    painter.setTransform(QTransform());
    canvas_.MarkDrawn();
}

} // namespace fw::pictures::pict
