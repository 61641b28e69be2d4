#pragma once
// The toolkit side of pictures and drawing contexts.
#include "Graphics.h"
#include "framework/pictures/PictureCodecs.h"

#include <QImage>
#include <QPainter>

namespace fw {

class PictureData {
public:
    QImage image;   // may be smaller than width by height for very large pictures
    int32_t width = 0;
    int32_t height = 0;

    // What DrawPicture scaled last, kept for the next paint at the same size, and a halved copy
    // of a large image to scale from, so that a resize that changes the size is cheap too.
    QImage scaled;
    QRect scaledFrom;
    QImage draft;
};

class PainterHandle {
public:
    explicit PainterHandle(QPainter& p) : painter(p) {}
    QPainter& painter;
};

// The bounds of one load: the kept copy no larger than the largest screen shows, and two
// seconds from now.
pictures::Budget ScreenBudget();

// Decodes a picture from a file's bytes, by content; nil when they hold no picture within the
// budget.
Ref<Picture> DecodePicture(pictures::Bytes file, const pictures::Budget& budget);

} // namespace fw
