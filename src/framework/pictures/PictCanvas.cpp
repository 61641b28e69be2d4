// The PICT reader's cursor, regions and canvas.
#include "PictFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <utility>

#include <sys/mman.h>

namespace fw::pictures::pict {

bool Cursor::Skip(size_t n)
{
    if (!Has(n)) {
        ok_ = false;
        pos_ = size_;
        return false;
    }
    pos_ += n;
    return true;
}

uint8_t Cursor::U8()
{
    if (!Has(1))
        return Skip(1), 0;
    return data_[pos_++];
}

uint16_t Cursor::U16()
{
    if (!Has(2))
        return Skip(2), 0;
    uint16_t v = uint16_t(data_[pos_] << 8 | data_[pos_ + 1]);
    pos_ += 2;
    return v;
}

uint32_t Cursor::U32()
{
    uint32_t high = U16();
    return high << 16 | U16();
}

void Cursor::AlignEven(size_t origin)
{
    if ((pos_ - origin) & 1)
        Skip(1);
}

Cursor Cursor::Take(size_t n)
{
    if (!Has(n)) {
        Skip(n);
        Cursor broken(data_, 0);
        broken.Fail();
        return broken;
    }
    Cursor part(data_ + pos_, n);
    pos_ += n;
    return part;
}

Rect ReadRect(Cursor& in)
{
    Rect r;
    r.top = in.S16();
    r.left = in.S16();
    r.bottom = in.S16();
    r.right = in.S16();
    return r;
}

std::optional<Region> Region::Read(Cursor& in)
{
    uint16_t size = in.U16();
    Region region;
    region.bounds_ = ReadRect(in);
    if (size < 10 || !in.Ok())
        return std::nullopt;
    Cursor data = in.Take(size - 10u);
    if (!data.Ok())
        return std::nullopt;
    // Each line: its y, its sorted inversion points, then 0x7FFF; a last 0x7FFF ends the data.
    while (data.Left() >= 2) {
        int16_t y = data.S16();
        if (y == 0x7FFF)
            break;
        if (!region.lines_.empty() && y < region.lines_.back().y)
            return std::nullopt;
        Line line{y, uint32_t(region.points_.size()), 0};
        for (int16_t x = data.S16(); data.Ok() && x != 0x7FFF; x = data.S16())
            region.points_.push_back(x);
        if (!data.Ok())
            return std::nullopt;
        line.count = uint32_t(region.points_.size()) - line.first;
        std::sort(region.points_.begin() + line.first, region.points_.end());
        region.lines_.push_back(line);
    }
    return region;
}

void Region::Walker::AdvanceTo(int32_t y)
{
    const auto& lines = region_.lines_;
    std::vector<int16_t> merged;
    for (; nextLine_ < lines.size() && lines[nextLine_].y <= y; ++nextLine_) {
        auto first = region_.points_.begin() + lines[nextLine_].first;
        merged.clear();
        std::set_symmetric_difference(inside_.begin(), inside_.end(), first, first + lines[nextLine_].count,
                                      std::back_inserter(merged));
        inside_.swap(merged);
    }
}

bool Region::Walker::Contains(int32_t x, int32_t y) const
{
    const Rect& b = region_.bounds_;
    if (x < b.left || x >= b.right || y < b.top || y >= b.bottom)
        return false;
    if (region_.lines_.empty())
        return true;
    auto past = std::upper_bound(inside_.begin(), inside_.end(), x);
    return (past - inside_.begin()) & 1;
}

namespace {

// A large canvas in huge pages where the system gives them: touching tens of megabytes page by
// page costs more than all the decoding that fills them.
QImage NewImage(int width, int height)
{
    constexpr size_t kHugePage = size_t(2) << 20;
    const size_t bytes = size_t(width) * size_t(height) * 4;
    if (bytes < 4 * kHugePage)
        return QImage(width, height, QImage::Format_RGB32);
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (!memory)
        return QImage();
    ::madvise(memory, rounded, MADV_HUGEPAGE);
    return QImage(static_cast<uchar*>(memory), width, height, qsizetype(width) * 4, QImage::Format_RGB32,
                  [](void* m) { std::free(m); }, memory);
}

} // namespace

Canvas::Canvas(int width, int height, Rect space)
    : image_(NewImage(width, height)), space_(space), kx_(double(width) / space.Width()),
      ky_(double(height) / space.Height())
{
    image_.fill(Qt::white);
}

Canvas::Span Canvas::Columns(Rect r) const
{
    auto at = [&](int32_t x) { return int(std::clamp(std::ceil((x - space_.left) * kx_ - 0.5), 0.0, double(image_.width()))); };
    return {at(r.left), at(r.right)};
}

Canvas::Span Canvas::Rows(Rect r) const
{
    auto at = [&](int32_t y) { return int(std::clamp(std::ceil((y - space_.top) * ky_ - 0.5), 0.0, double(image_.height()))); };
    return {at(r.top), at(r.bottom)};
}

QSize Canvas::Footprint(Rect dst) const
{
    Span cols = Columns(dst), rows = Rows(dst);
    return QSize(std::max(0, cols.to - cols.from), std::max(0, rows.to - rows.from));
}

QRect Canvas::Pixels(Rect r) const
{
    Span cols = Columns(r), rows = Rows(r);
    return QRect(QPoint(cols.from, rows.from), QPoint(cols.to - 1, rows.to - 1));
}

QRegion Canvas::PixelsOf(const Region& region) const
{
    constexpr size_t kMostRects = size_t(1) << 18;
    const QRect box = Pixels(region.Bounds());
    if (region.IsRectangle() || box.isEmpty())
        return QRegion(box);
    // Each pixel row takes the region's spans at its centre, as the pixel opcodes do; a row
    // like the one above widens that row's band instead of adding one.
    std::vector<QRect> rects;
    size_t bandStart = 0;
    std::vector<std::pair<int, int>> spans, previous;
    Region::Walker walker(region);
    for (int cy = box.top(); cy <= box.bottom(); ++cy) {
        walker.AdvanceTo(int32_t(std::floor(Y(cy))));
        spans.clear();
        const std::vector<int16_t>& inside = walker.Inside();
        for (size_t i = 0; i + 1 < inside.size(); i += 2) {
            Span cols = Columns(Rect{0, inside[i], 1, inside[i + 1]});
            cols.from = std::max(cols.from, box.left());
            cols.to = std::min(cols.to, box.right() + 1);
            if (cols.from >= cols.to)
                continue;
            if (!spans.empty() && cols.from <= spans.back().second)
                spans.back().second = std::max(spans.back().second, cols.to);
            else
                spans.emplace_back(cols.from, cols.to);
        }
        if (spans == previous && !spans.empty()) {
            for (size_t i = bandStart; i < rects.size(); ++i)
                rects[i].setBottom(cy);
            continue;
        }
        bandStart = rects.size();
        if (rects.size() + spans.size() > kMostRects)
            return QRegion(box); // a region this busy is drawn as its box
        for (auto [from, to] : spans)
            rects.emplace_back(QPoint(from, cy), QPoint(to - 1, cy));
        previous.swap(spans);
    }
    QRegion pixels;
    pixels.setRects(rects.data(), int(rects.size()));
    return pixels;
}

QPainter& Canvas::Painter()
{
    if (!painter_) {
        painter_.emplace(&image_);
        if (clip_)
            painter_->setClipRegion(*clip_);
    }
    return *painter_;
}

void Canvas::EndPainting()
{
    painter_.reset();
}

void Canvas::SetClip(std::optional<QRegion> clip)
{
    clip_ = std::move(clip);
    if (painter_ && clip_)
        painter_->setClipRegion(*clip_);
    else if (painter_)
        painter_->setClipping(false);
}

void Canvas::MoveOrigin(int32_t dh, int32_t dv)
{
    // Bounded, so that no run of origin opcodes can overflow the coordinates.
    constexpr int32_t kFar = 1 << 24;
    const int32_t h = std::clamp(space_.left + dh, -kFar, kFar) - space_.left;
    const int32_t v = std::clamp(space_.top + dv, -kFar, kFar) - space_.top;
    space_ = Rect{space_.top + v, space_.left + h, space_.bottom + v, space_.right + h};
}

namespace {

// One canvas row from a source row: `column` gives each canvas pixel's source column (-1 for
// none), `pictureX` its drawing coordinate for the clip.
void WriteRow(QRgb* out, const QRgb* in, const std::vector<int32_t>& column, const std::vector<int32_t>& pictureX,
              Region::Walker* clip, int32_t y, uint16_t mode)
{
    const int32_t* map = column.data();
    const size_t n = column.size();
    if (!clip && mode == kSrcCopy) {
        for (size_t i = 0; i < n; ++i)
            if (map[i] >= 0)
                out[i] = in[map[i]] | 0xFF000000u;
        return;
    }
    if (clip)
        clip->AdvanceTo(y);
    for (size_t i = 0; i < n; ++i)
        if (map[i] >= 0 && (!clip || clip->Contains(pictureX[i], y)))
            out[i] = TransferPixel(mode, in[map[i]], out[i]);
}

} // namespace

bool Canvas::Compose(RowSource& source, int32_t srcWidth, int32_t srcHeight, Rect src, Rect dst,
                     const Region* clip, uint16_t mode, const Budget& budget)
{
    Span cols = Columns(dst), rows = Rows(dst);
    if (src.Empty() || dst.Empty() || cols.from >= cols.to || rows.from >= rows.to)
        return true;
    EndPainting();
    mode = PlainMode(mode);
    const double fx = double(src.Width()) / dst.Width(), fy = double(src.Height()) / dst.Height();
    const int32_t xFrom = std::max(0, src.left), xTo = std::min(srcWidth, src.right);
    const int32_t yFrom = std::max(0, src.top), yTo = std::min(srcHeight, src.bottom);
    std::vector<int32_t> column(size_t(cols.to - cols.from)), pictureX(column.size());
    for (int cx = cols.from; cx < cols.to; ++cx) {
        double px = X(cx);
        auto sx = int32_t(std::floor(src.left + (px - dst.left) * fx));
        column[size_t(cx - cols.from)] = sx >= xFrom && sx < xTo ? sx : -1;
        pictureX[size_t(cx - cols.from)] = int32_t(std::floor(px));
    }
    std::optional<Region::Walker> walker;
    if (clip)
        walker.emplace(*clip);
    for (int cy = rows.from; cy < rows.to; ++cy) {
        if ((cy & 15) == 0 && budget.Expired())
            return false;
        double py = Y(cy);
        auto sy = int32_t(std::floor(src.top + (py - dst.top) * fy));
        if (sy < yFrom || sy >= yTo)
            continue;
        const QRgb* in = source.Row(sy);
        if (!in)
            return false;
        WriteRow(reinterpret_cast<QRgb*>(image_.scanLine(cy)) + cols.from, in, column, pictureX,
                 walker ? &*walker : nullptr, int32_t(std::floor(py)), mode);
        drawn_ = true;
        ++rowsComposed_;
    }
    return true;
}

bool Canvas::TakeStandIn(Rect dst)
{
    std::optional<Rect> area = std::exchange(standIn_, std::nullopt);
    // A writer may round the stand-in's rectangle by a unit where it scaled the image.
    return area && dst.left >= area->left - 1 && dst.top >= area->top - 1 && dst.right <= area->right + 1 &&
           dst.bottom <= area->bottom + 1;
}

} // namespace fw::pictures::pict
