// The pane's paint handler of the real window, drawing into an image of a chosen size: where a
// picture lands for canvases and pictures of every shape, that nothing is drawn for a picture
// without size, and that the pane is black when there is no picture.
#include "PreviewSupport.h"
#include "framework/ui/GraphicsPrivate.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace fw;
using harness::RunProgram;
using preview_support::AllOf;
using preview_support::Covers;
using preview_support::kBlack;
using preview_support::kBlue;
using preview_support::kRed;

namespace {

const QColor kErased(120, 130, 140); // stands for what the framework's erase left

struct Fit {
    int W, H;   // the canvas
    int sw, sh; // the picture
    int x, y, dw, dh;
};

const Fit kFits[] = {
    {256, 306, 1000, 500, 0, 89, 256, 128}, // wider
    {256, 306, 64, 32, 0, 89, 256, 128},    // wider, scaled up
    {256, 306, 400, 600, 26, 0, 204, 306},  // taller
    {256, 306, 500, 500, 0, 25, 256, 256},  // square: the height would make it too wide
    {256, 412, 100, 200, 25, 0, 206, 412},  // taller, in a taller pane
    {400, 100, 300, 200, 125, 0, 150, 100}, // wider, but the width would make it too high
    {256, 306, 1, 900, 128, 0, 0, 306},     // so thin that its width comes out 0
    {256, 306, 300, 600, 52, 0, 153, 306},  // 51.5 from the left: rounded to the nearest
    {255, 306, 300, 600, 52, 0, 153, 306},  // an odd width: the centre 127.5 is rounded first
    {256, 306, 600, 100, 0, 132, 256, 43},  // a long band
    // The ratio of the sides is taken first: 306 x (23 / 36) comes out just under 195.5, where
    // (306 x 23) / 36 would be 195.5 exactly and round up; the same for 300 x (73 / 120).
    {256, 306, 23, 36, 31, 0, 195, 306},
    {300, 306, 120, 73, 0, 62, 300, 182},
    // Which side is fitted first shows where rounding leaves the other one short.
    {10, 100, 104, 1000, 0, 0, 10, 100},
    {100, 10, 1000, 104, 0, 0, 100, 10},
};

// Runs the window's paint handler over a W by H image already filled with kErased.
QImage Paint(Window1& w, int W, int H, Color* foreAfter = nullptr)
{
    QImage image(W, H, QImage::Format_RGB32);
    image.fill(kErased);
    {
        QPainter painter(&image);
        PainterHandle handle(painter);
        Ref<Graphics> g = MakeRef<Graphics>(&handle, W, H);
        g->SetForeColor(RGB(1, 2, 3));
        w.PreviewCanvas_Paint(*w.PreviewCanvas(), *g);
        if (foreAfter)
            *foreAfter = g->ForeColor();
    }
    return image;
}

} // namespace

TEST(PreviewPaint, FitsAndCentresEachPictureInTheCanvas)
{
    auto run = RunProgram([&](Window1& w) {
        for (const Fit& f : kFits) {
            SCOPED_TRACE(::testing::Message() << f.W << " by " << f.H << " canvas, " << f.sw << " by " << f.sh
                                            << " picture");
            w.pic = Picture::Create(f.sw, f.sh, RGB(kRed.red(), kRed.green(), kRed.blue()));
            EXPECT_TRUE(Covers(Paint(w, f.W, f.H), QRect(f.x, f.y, f.dw, f.dh), kRed, kErased));
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(PreviewPaint, RepaintsFromTheHeldPictureAtEachSize)
{
    auto run = RunProgram([&](Window1& w) {
        w.pic = Picture::Create(100, 200, RGB(kBlue.red(), kBlue.green(), kBlue.blue()));
        EXPECT_TRUE(Covers(Paint(w, 256, 306), QRect(52, 0, 153, 306), kBlue, kErased));
        EXPECT_TRUE(Covers(Paint(w, 256, 412), QRect(25, 0, 206, 412), kBlue, kErased));
        EXPECT_TRUE(Covers(Paint(w, 256, 306), QRect(52, 0, 153, 306), kBlue, kErased));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(PreviewPaint, APictureWithoutSizeIsNeitherDrawnNorFilled)
{
    auto run = RunProgram([&](Window1& w) {
        for (QSize size : {QSize(0, 50), QSize(50, 0), QSize(0, 0)}) {
            SCOPED_TRACE(::testing::Message() << size.width() << " by " << size.height());
            w.pic = Picture::Create(size.width(), size.height(), RGB(kRed.red(), kRed.green(), kRed.blue()));
            Color fore;
            EXPECT_TRUE(AllOf(Paint(w, 256, 306, &fore), kErased));
            EXPECT_EQ(fore, RGB(1, 2, 3)); // not even the colour was touched
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(PreviewPaint, NoPictureFillsTheWholeCanvasBlack)
{
    auto run = RunProgram([&](Window1& w) {
        ASSERT_FALSE(w.pic);
        for (QSize size : {QSize(256, 306), QSize(256, 412), QSize(400, 100), QSize(1, 1)}) {
            SCOPED_TRACE(::testing::Message() << size.width() << " by " << size.height());
            Color fore;
            EXPECT_TRUE(AllOf(Paint(w, size.width(), size.height(), &fore), kBlack));
            EXPECT_EQ(fore, RGB(0, 0, 0));
        }
    });
    EXPECT_TRUE(run.messages.empty());
}
