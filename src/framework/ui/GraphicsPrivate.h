#pragma once
// The toolkit side of pictures and drawing contexts.
#include "Graphics.h"

#include <QImage>
#include <QPainter>

namespace fw {

class PictureData {
public:
    QImage image;   // may be smaller than width by height for very large pictures
    int32_t width = 0;
    int32_t height = 0;
};

class PainterHandle {
public:
    explicit PainterHandle(QPainter& p) : painter(p) {}
    QPainter& painter;
};

// Decodes a picture from the bytes of a file, by content; nil when they hold no picture that
// fits the memory bounds.
Ref<Picture> DecodePicture(const QByteArray& bytes);

} // namespace fw
