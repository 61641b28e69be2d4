#pragma once
// Drawing: a colour, a picture, and a drawing context over one paint of a control or a cell.
#include "framework/runtime/ClassTable.h"

#include <cstdint>
#include <memory>

namespace fw {

struct Color {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Color&, const Color&) = default;
};

inline Color RGB(int32_t r, int32_t g, int32_t b)
{
    auto clamp = [](int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    return Color{clamp(r), clamp(g), clamp(b)};
}

class PictureData;

// Decoded pixels with the picture's own width and height.
class Picture : public Object {
    FW_DECLARE_CLASS()
public:
    explicit Picture(std::unique_ptr<PictureData> data);
    ~Picture() override;
    static Ref<Picture> Create(int32_t width, int32_t height, Color fill);
    int32_t Width() const;
    int32_t Height() const;
    PictureData& Data() const { return *data_; }

private:
    std::unique_ptr<PictureData> data_;
};

class PainterHandle;

class Graphics : public Object {
    FW_DECLARE_CLASS()
public:
    // Made by the framework over a paint; the painter outlives the Graphics' use.
    Graphics(PainterHandle* painter, int32_t width, int32_t height);
    ~Graphics() override;

    Color ForeColor() const { return fore_; }
    void SetForeColor(Color c) { fore_ = c; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    void FillRect(int32_t x, int32_t y, int32_t w, int32_t h);
    // Draws the source rectangle of the picture scaled into the destination rectangle.
    void DrawPicture(const Ref<Picture>& pic, int32_t x, int32_t y, int32_t w, int32_t h, int32_t sx,
                     int32_t sy, int32_t sw, int32_t sh);

private:
    PainterHandle* painter_;
    int32_t width_, height_;
    Color fore_;
};

} // namespace fw
