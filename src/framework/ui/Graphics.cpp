#include "Graphics.h"

#include "GraphicsPrivate.h"

#include <QPainter>

namespace fw {
namespace {

constexpr int64_t kMaxCachedPixels = 16'000'000;
constexpr int kDraftSide = 1024; // images with a longer side beyond twice this keep a draft

// The source rectangle of the image smoothly scaled to the destination size, made once per size:
// paints at an unchanged size cost a plain copy. A large image is scaled from a reduced draft
// whenever the draft still has more pixels than the destination, which keeps a resize cheap.
const QImage& ScaledFor(PictureData& d, const QRectF& source, QSize size)
{
    const QRect key = source.toAlignedRect();
    if (!d.scaled.isNull() && d.scaled.size() == size && d.scaledFrom == key)
        return d.scaled;
    QImage base = d.image;
    QRectF from = source;
    if (std::max(d.image.width(), d.image.height()) > 2 * kDraftSide) {
        if (d.draft.isNull())
            d.draft = d.image.scaled(kDraftSide, kDraftSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const double f = double(d.draft.width()) / d.image.width();
        const QRectF onDraft(source.x() * f, source.y() * f, source.width() * f, source.height() * f);
        if (size.width() <= onDraft.width() && size.height() <= onDraft.height())
            base = d.draft, from = onDraft;
    }
    const QRect part = from.toAlignedRect() & base.rect();
    const QImage piece = part == base.rect() ? base : base.copy(part);
    d.scaled = piece.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    d.scaledFrom = key;
    return d.scaled;
}

} // namespace

FW_CLASS_TABLE(Picture, Object, "Picture") {}
FW_CLASS_TABLE(Graphics, Object, "Graphics") {}

Picture::Picture(std::unique_ptr<PictureData> data) : data_(std::move(data)) {}
Picture::~Picture() = default;

Ref<Picture> Picture::Create(int32_t width, int32_t height, Color fill)
{
    auto d = std::make_unique<PictureData>();
    d->image = QImage(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
    d->image.fill(QColor(fill.r, fill.g, fill.b));
    d->width = width;
    d->height = height;
    return MakeRef<Picture>(std::move(d));
}

int32_t Picture::Width() const { return data_->width; }
int32_t Picture::Height() const { return data_->height; }

Graphics::Graphics(PainterHandle* painter, int32_t width, int32_t height)
    : painter_(painter), width_(width), height_(height)
{
}
Graphics::~Graphics() = default;

void Graphics::FillRect(int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (painter_ && w > 0 && h > 0)
        painter_->painter.fillRect(x, y, w, h, QColor(fore_.r, fore_.g, fore_.b));
}

void Graphics::DrawPicture(const Ref<Picture>& pic, int32_t x, int32_t y, int32_t w, int32_t h, int32_t sx,
                           int32_t sy, int32_t sw, int32_t sh)
{
    if (!pic)
        ThrowNilObject();
    if (!painter_ || w <= 0 || h <= 0 || sw <= 0 || sh <= 0)
        return;
    PictureData& d = pic->Data();
    if (d.image.isNull())
        return;
    // The image may be a reduced copy of a very large picture: map the source rectangle,
    // which is in the picture's own pixels, onto it.
    const double fx = double(d.image.width()) / std::max(d.width, 1);
    const double fy = double(d.image.height()) / std::max(d.height, 1);
    const QRectF source(sx * fx, sy * fy, sw * fx, sh * fy);
    if (int64_t(w) * h > kMaxCachedPixels) {
        painter_->painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter_->painter.drawImage(QRectF(x, y, w, h), d.image, source);
        return;
    }
    painter_->painter.drawImage(QPoint(x, y), ScaledFor(d, source, QSize(w, h)));
}

} // namespace fw
