#pragma once
// The drawing state of QuickDraw as a picture's opcodes set it - pen, colours, patterns, clip,
// origin and text - and the lines, shapes and text drawn with it on the canvas. The state and
// its opcodes are in QuickDrawState.cpp, the shapes and lines in QuickDrawShapes.cpp, the text
// in QuickDrawText.cpp.
#include "PictFormat.h"

#include <QBrush>
#include <QFont>
#include <QPainterPath>
#include <QPoint>
#include <QStringDecoder>

#include <map>
#include <optional>
#include <vector>

namespace fw::pictures::pict {

class QuickDrawState {
public:
    explicit QuickDrawState(Canvas& canvas);
    // Whether the opcode is one this state reads: a state change, a line, a shape or text.
    static bool Handles(uint16_t op);
    // Reads the opcode's data and draws what it draws; false when the data is damaged.
    bool Step(Cursor& in, uint16_t op);

private:
    enum Verb { kFrame, kPaint, kErase, kInvert, kFill };
    // An eight by eight one-bit pattern, or a pixel pattern taken as its colour.
    struct Pattern {
        uint8_t bits[8] = {};
        std::optional<QRgb> colour;
    };
    // What a verb lays on the canvas: nothing, or a brush through a composition mode.
    struct Ink {
        bool none = false;
        QBrush brush;
        QPainter::CompositionMode composition = QPainter::CompositionMode_SourceOver;
    };
    // The last shape of each kind, for the "same" opcodes.
    struct Shapes {
        Rect rect, rrect, oval, arc;
        int16_t arcStart = 0, arcAngle = 0;
        std::vector<QPoint> poly;
        std::optional<Region> rgn;
    };

    // QuickDrawState.cpp
    bool StateOp(Cursor& in, uint16_t op);
    bool ColourOp(Cursor& in, uint16_t op);
    bool PatternOp(Cursor& in, uint16_t op);
    bool SetClip(Cursor& in);
    void ApplyClip();
    const Ink& InkFor(Verb verb);
    Ink MakeInk(const Pattern& pattern, uint16_t mode) const;
    void Changed() { inks_[0].reset(), inks_[1].reset(), inks_[2].reset(), inks_[3].reset(); }

    // QuickDrawShapes.cpp
    bool ShapeOp(Cursor& in, uint16_t op);
    bool ReadShape(Cursor& in, int kind, bool same);
    void DrawShape(int kind, Verb verb);
    bool LineOp(Cursor& in, uint16_t op);
    void AddLine(QPainterPath& path, QPoint from, QPoint to) const;
    QPainterPath OvalPath(Rect r, Verb verb) const;
    QPainterPath RoundRectPath(Rect r, Verb verb) const;
    QPainterPath ArcPath(Verb verb) const;
    QPainterPath PolyPath(Verb verb) const;
    void DrawRect(Rect r, Verb verb);
    void DrawRegion(const Region& region, Verb verb);
    void Cover(const QPainterPath& area, Verb verb);
    QPointF PenPixels() const; // the pen's size in canvas pixels, at least one each way

    // QuickDrawText.cpp
    bool TextOp(Cursor& in, uint16_t op);
    bool FontName(Cursor& in);
    void DrawString(const QByteArray& text);
    QFont MakeFont() const;

    Canvas& canvas_;
    QRgb fg_ = qRgb(0, 0, 0), bg_ = qRgb(255, 255, 255);
    Pattern pen_, fill_, back_;
    uint16_t penMode_ = kPatCopy;
    int32_t penWidth_ = 1, penHeight_ = 1;
    QPoint penAt_, ovalSize_;
    std::optional<Region> clip_;
    Shapes last_;
    std::optional<Ink> inks_[4];

    QPoint textAt_;
    int textFont_ = 0, textSize_ = 0;
    uint8_t textFace_ = 0;
    uint16_t textMode_ = kSrcOr;
    std::map<int, QString> fontNames_;
    std::optional<QFont> font_; // made when text is first drawn, again after a text state change
    QStringDecoder macRoman_;
};

} // namespace fw::pictures::pict
