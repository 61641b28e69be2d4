// QuickTime's Animation codec ('rle '), one key frame: a header that may limit the lines the
// frame changes, then for each line a skip count and codes that skip pixels, copy them or
// repeat one. Lines are decoded as the canvas asks for them, so nothing the size of the
// image is ever held.
#include "PictFormat.h"

#include <algorithm>

namespace fw::pictures::pict {
namespace {

class AnimationRows final : public RowSource {
public:
    AnimationRows(int32_t width, int32_t height, int depth, const std::vector<QRgb>& palette, Cursor data)
        : in_(data), palette_(palette), depth_(depth), colours_(size_t(width))
    {
        unitBytes_ = depth == 8 ? 4 : depth / 8;
        unitPixels_ = depth == 8 ? 4 : 1;
        if (in_.Left() < 8) {
            lines_ = 0;
            return;
        }
        in_.Skip(4); // the chunk's size
        if (in_.U16() & 0x0008) {
            start_ = in_.U16();
            in_.Skip(2);
            lines_ = in_.U16();
            in_.Skip(2);
        } else {
            lines_ = height;
        }
        next_ = start_;
    }

    const QRgb* Row(int32_t y) override
    {
        if (y == have_)
            return colours_.data();
        have_ = y;
        bool got = false;
        while (!ended_ && next_ <= y && next_ < start_ + lines_) {
            std::fill(colours_.begin(), colours_.end(), qRgb(255, 255, 255));
            ended_ = !DecodeLine();
            got = next_++ == y;
        }
        if (!got)
            std::fill(colours_.begin(), colours_.end(), qRgb(255, 255, 255));
        return colours_.data();
    }

private:
    QRgb Colour(const uint8_t* p) const
    {
        switch (depth_) {
        case 16: {
            unsigned v = unsigned(p[0] << 8 | p[1]), r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            return qRgb(int(r << 3 | r >> 2), int(g << 3 | g >> 2), int(b << 3 | b >> 2));
        }
        case 24:
            return qRgb(p[0], p[1], p[2]);
        default:
            return qRgb(p[1], p[2], p[3]);
        }
    }

    void Put(int64_t x, const uint8_t* unit)
    {
        const auto width = int64_t(colours_.size());
        if (depth_ != 8) {
            if (x < width)
                colours_[size_t(x)] = Colour(unit);
            return;
        }
        for (int k = 0; k < 4 && x + k < width; ++k)
            colours_[size_t(x + k)] = palette_[unit[k]];
    }

    // One line; false when the frame's data ends, either by its own mark or by damage.
    bool DecodeLine()
    {
        uint8_t skip = in_.U8();
        if (!in_.Ok() || skip == 0)
            return false;
        int64_t x = int64_t(skip - 1) * unitPixels_;
        for (;;) {
            auto code = int8_t(in_.U8());
            if (!in_.Ok())
                return false;
            if (code == -1)
                return true;
            if (code == 0) {
                x += (int64_t(in_.U8()) - 1) * unitPixels_;
                if (x < 0)
                    return false;
                continue;
            }
            const int count = code < 0 ? -code : code;
            const size_t bytes = code < 0 ? size_t(unitBytes_) : size_t(unitBytes_) * size_t(count);
            if (!in_.Has(bytes))
                return false;
            const uint8_t* p = in_.Here();
            in_.Skip(bytes);
            for (int i = 0; i < count && x < int64_t(colours_.size()); ++i, x += unitPixels_)
                Put(x, code < 0 ? p : p + size_t(i) * size_t(unitBytes_));
        }
    }

    Cursor in_;
    const std::vector<QRgb>& palette_;
    int depth_;
    int unitBytes_ = 1, unitPixels_ = 1;
    int32_t start_ = 0, lines_ = 0, next_ = 0, have_ = -1;
    bool ended_ = false;
    std::vector<QRgb> colours_;
};

} // namespace

std::unique_ptr<RowSource> MakeAnimationRows(int32_t width, int32_t height, int depth,
                                             const std::vector<QRgb>& palette, Cursor data)
{
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32)
        return nullptr;
    return std::make_unique<AnimationRows>(width, height, depth, palette, data);
}

} // namespace fw::pictures::pict
