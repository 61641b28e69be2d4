// QuickDraw's lines and shapes on the canvas: rectangles, rounded rectangles, ovals, arcs,
// polygons and regions, each framed, painted, erased, inverted or filled. The pen hangs below
// and to the right of its position, and a frame lies inside its shape, the pen's width and
// height deep; shapes cover the pixels inside the grid lines of their rectangle.
#include "QuickDrawState.h"

#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace fw::pictures::pict {
namespace {

// Shapes whose canvas coordinates go beyond this are cut to the canvas before they are filled.
constexpr double kFarPixels = 1 << 22;

QPoint ReadPoint(Cursor& in)
{
    const int16_t v = in.S16();
    return QPoint(in.S16(), v);
}

double Cross(QPointF o, QPointF a, QPointF b)
{
    return (a.x() - o.x()) * (b.y() - o.y()) - (a.y() - o.y()) * (b.x() - o.x());
}

// The convex hull of a few points (Andrew's monotone chain), always turning the same way, so
// that hulls added to one path with the winding rule make their union.
QPolygonF Hull(std::vector<QPointF> points)
{
    std::sort(points.begin(), points.end(),
              [](QPointF a, QPointF b) { return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y()); });
    std::vector<QPointF> hull(2 * points.size());
    size_t k = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && Cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    for (size_t i = points.size() - 1, low = k + 1; i > 0; --i) {
        while (k >= low && Cross(hull[k - 2], hull[k - 1], points[i - 1]) <= 0)
            --k;
        hull[k++] = points[i - 1];
    }
    return QPolygonF(QList<QPointF>(hull.begin(), hull.begin() + qsizetype(k > 0 ? k - 1 : 0)));
}

} // namespace

bool QuickDrawState::ShapeOp(Cursor& in, uint16_t op)
{
    // From 0x30 on: rectangles, rounded rectangles, ovals, arcs, polygons and regions, sixteen
    // opcodes a kind, the verbs with their geometry first and the "same shape" forms after.
    const int kind = (op - 0x30) >> 4;
    if (!ReadShape(in, kind, op & 8))
        return false;
    DrawShape(kind, Verb(op & 7));
    return true;
}

bool QuickDrawState::ReadShape(Cursor& in, int kind, bool same)
{
    Rect* rects[4] = {&last_.rect, &last_.rrect, &last_.oval, &last_.arc};
    if (kind < 4 && !same)
        *rects[kind] = ReadRect(in);
    if (kind == 3) {
        last_.arcStart = in.S16();
        last_.arcAngle = in.S16();
    }
    if (kind == 4 && !same) {
        const uint16_t size = in.U16();
        if (size < 10)
            return false;
        Cursor data = in.Take(size - 2u);
        ReadRect(data); // the polygon's box, which its points give again
        last_.poly.clear();
        while (data.Left() >= 4)
            last_.poly.push_back(ReadPoint(data));
        return data.Ok();
    }
    if (kind == 5 && !same)
        return (last_.rgn = Region::Read(in)).has_value();
    return in.Ok();
}

void QuickDrawState::DrawShape(int kind, Verb verb)
{
    if (verb == kFrame && (penWidth_ <= 0 || penHeight_ <= 0))
        return; // a pen of no size draws no outline
    switch (kind) {
    case 0:
        return DrawRect(last_.rect, verb);
    case 1:
        return Cover(RoundRectPath(last_.rrect, verb), verb);
    case 2:
        return Cover(OvalPath(last_.oval, verb), verb);
    case 3:
        return Cover(ArcPath(verb), verb);
    case 4:
        return Cover(PolyPath(verb), verb);
    default:
        if (last_.rgn)
            DrawRegion(*last_.rgn, verb);
    }
}

bool QuickDrawState::LineOp(Cursor& in, uint16_t op)
{
    QPoint from = op == 0x20 || op == 0x22 ? ReadPoint(in) : penAt_, to;
    if (op == 0x20 || op == 0x21) {
        to = ReadPoint(in);
    } else {
        const auto dh = int8_t(in.U8()), dv = int8_t(in.U8());
        to = from + QPoint(dh, dv);
    }
    if (!in.Ok())
        return false;
    penAt_ = to;
    if (penWidth_ <= 0 || penHeight_ <= 0)
        return true;
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    AddLine(path, from, to);
    Cover(path, kFrame);
    return true;
}

QPointF QuickDrawState::PenPixels() const
{
    // At a reduced scale a thin pen keeps one pixel, so that lines and outlines don't vanish.
    return {std::max(1.0, penWidth_ * canvas_.ScaleX()), std::max(1.0, penHeight_ * canvas_.ScaleY())};
}

// The pen's rectangle swept from one point to the other.
void QuickDrawState::AddLine(QPainterPath& path, QPoint from, QPoint to) const
{
    const QPointF pen = PenPixels(), a = canvas_.Map(from.x(), from.y()), b = canvas_.Map(to.x(), to.y());
    std::vector<QPointF> corners;
    for (QPointF p : {a, b})
        for (QPointF d : {QPointF(0, 0), QPointF(pen.x(), 0), pen, QPointF(0, pen.y())})
            corners.push_back(p + d);
    path.addPolygon(Hull(std::move(corners)));
    path.closeSubpath();
}

void QuickDrawState::DrawRect(Rect r, Verb verb)
{
    // Canvas columns and rows by the pixel opcodes' rule, before any cut to the canvas, so that a
    // frame reaching past the canvas has no edge where the canvas ends.
    const QPointF a = canvas_.Map(r.left, r.top), b = canvas_.Map(r.right, r.bottom);
    auto grid = [](double v) { return std::clamp(std::ceil(v - 0.5), -kFarPixels, kFarPixels); };
    const double left = grid(a.x()), top = grid(a.y()), right = grid(b.x()), bottom = grid(b.y());
    if (right <= left || bottom <= top)
        return;
    auto box = [](double l, double t, double r, double b) { return QRectF(l, t, r - l, b - t); };
    QPainterPath area;
    area.addRect(box(left, top, right, bottom));
    if (verb == kFrame) {
        const QPointF pen = PenPixels();
        const double dx = std::max(1.0, std::round(pen.x())), dy = std::max(1.0, std::round(pen.y()));
        if (right - left > 2 * dx && bottom - top > 2 * dy)
            area.addRect(box(left + dx, top + dy, right - dx, bottom - dy));
    }
    Cover(area, verb);
}

QPainterPath QuickDrawState::OvalPath(Rect r, Verb verb) const
{
    QPainterPath path;
    if (r.Empty())
        return path;
    const QRectF outer(canvas_.Map(r.left, r.top), canvas_.Map(r.right, r.bottom));
    path.addEllipse(outer);
    const QPointF pen = PenPixels();
    const QRectF inner = outer.adjusted(pen.x(), pen.y(), -pen.x(), -pen.y());
    if (verb == kFrame && inner.isValid() && !inner.isEmpty())
        path.addEllipse(inner);
    return path;
}

QPainterPath QuickDrawState::RoundRectPath(Rect r, Verb verb) const
{
    QPainterPath path;
    if (r.Empty())
        return path;
    const QRectF outer(canvas_.Map(r.left, r.top), canvas_.Map(r.right, r.bottom));
    const double rx = std::min(outer.width(), std::abs(ovalSize_.x()) * canvas_.ScaleX()) / 2;
    const double ry = std::min(outer.height(), std::abs(ovalSize_.y()) * canvas_.ScaleY()) / 2;
    path.addRoundedRect(outer, rx, ry);
    const QPointF pen = PenPixels();
    const QRectF inner = outer.adjusted(pen.x(), pen.y(), -pen.x(), -pen.y());
    if (verb == kFrame && inner.isValid() && !inner.isEmpty())
        path.addRoundedRect(inner, std::max(0.0, rx - pen.x()), std::max(0.0, ry - pen.y()));
    return path;
}

// QuickDraw's angles run clockwise from twelve o'clock, Qt's counterclockwise from three.
QPainterPath QuickDrawState::ArcPath(Verb verb) const
{
    const Rect& r = last_.arc;
    if (r.Empty() || last_.arcAngle == 0)
        return QPainterPath();
    const QRectF outer(canvas_.Map(r.left, r.top), canvas_.Map(r.right, r.bottom));
    if (std::abs(last_.arcAngle) >= 360)
        return OvalPath(r, verb);
    const double start = 90.0 - last_.arcStart, sweep = -double(last_.arcAngle);
    QPainterPath path;
    const QPointF pen = PenPixels();
    const QRectF inner = outer.adjusted(pen.x(), pen.y(), -pen.x(), -pen.y());
    if (verb != kFrame || !inner.isValid() || inner.isEmpty()) {
        path.moveTo(outer.center());
        path.arcTo(outer, start, sweep);
    } else { // the band between the oval and the oval the pen leaves inside it
        path.arcMoveTo(outer, start);
        path.arcTo(outer, start, sweep);
        path.arcTo(inner, start + sweep, -sweep);
    }
    path.closeSubpath();
    return path;
}

QPainterPath QuickDrawState::PolyPath(Verb verb) const
{
    QPainterPath path;
    const std::vector<QPoint>& points = last_.poly;
    if (points.size() < 2)
        return path;
    if (verb == kFrame) {
        path.setFillRule(Qt::WindingFill);
        for (size_t i = 1; i < points.size(); ++i)
            AddLine(path, points[i - 1], points[i]);
        return path;
    }
    QPolygonF polygon;
    for (QPoint p : points)
        polygon << canvas_.Map(p.x(), p.y());
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

void QuickDrawState::DrawRegion(const Region& region, Verb verb)
{
    QRegion pixels = canvas_.PixelsOf(region);
    if (verb == kFrame) {
        // The outline is what the region loses when it shrinks by the pen on every side.
        const QPointF pen = PenPixels();
        const int dx = std::max(1, int(std::lround(pen.x()))), dy = std::max(1, int(std::lround(pen.y())));
        const QRegion inner = pixels & pixels.translated(dx, 0) & pixels.translated(-dx, 0) &
                              pixels.translated(0, dy) & pixels.translated(0, -dy);
        pixels -= inner;
    }
    QPainterPath area;
    area.addRegion(pixels);
    Cover(area, verb);
}

void QuickDrawState::Cover(const QPainterPath& area, Verb verb)
{
    const Ink& ink = InkFor(verb);
    if (ink.none || area.isEmpty())
        return;
    const QRectF all(canvas_.PixelBounds()), box = area.controlPointRect();
    if (!box.intersects(all))
        return;
    QPainter& painter = canvas_.Painter();
    painter.setCompositionMode(ink.composition);
    if (box.left() < -kFarPixels || box.top() < -kFarPixels || box.right() > kFarPixels || box.bottom() > kFarPixels) {
        QPainterPath canvas;
        canvas.addRect(all.adjusted(-1, -1, 1, 1));
        painter.fillPath(area.intersected(canvas), ink.brush);
    } else {
        painter.fillPath(area, ink.brush);
    }
    canvas_.MarkDrawn();
}

} // namespace fw::pictures::pict
