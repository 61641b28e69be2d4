#pragma once
// What the preview tests share: solid pictures written as real files, the pane's pixels as a
// person would see them, a check that a rectangle of an image holds one colour and the rest
// another, and a record of the cursors the program shows.
#include "ProgramHarness.h"
#include "framework/ui/WindowPrivate.h"

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QImageWriter>
#include <QRect>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace preview_support {

inline const QColor kRed(220, 30, 30);
inline const QColor kGreen(30, 200, 60);
inline const QColor kBlue(40, 60, 220);
inline const QColor kBlack(0, 0, 0);

// A picture of one colour, written through Qt's own writer in the format named ("png", "bmp").
inline void WritePicture(const std::string& path, int width, int height, const QColor& colour,
                         const char* format = "png")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QImageWriter writer(QString::fromStdString(path), format);
    ASSERT_TRUE(writer.write(image)) << path << ": " << writer.errorString().toStdString();
}

// The pane drawn afresh, as it would appear on the screen.
inline QImage PaneShot(Window1& w)
{
    return harness::WidgetOf(w.PreviewCanvas())->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The colour the framework erases the pane with before the program paints.
inline QColor PaneBackground(Window1& w)
{
    return harness::WidgetOf(w.PreviewCanvas())->palette().color(QPalette::Window);
}

// Every pixel inside `inside` has the colour `in`, every other pixel the colour `out`.
inline ::testing::AssertionResult Covers(const QImage& image, const QRect& inside, const QColor& in,
                                         const QColor& out)
{
    const QRgb inRgb = in.rgb() & 0xFFFFFF, outRgb = out.rgb() & 0xFFFFFF;
    long wrong = 0;
    QPoint first;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QRgb want = inside.contains(x, y) ? inRgb : outRgb;
            if ((image.pixel(x, y) & 0xFFFFFF) != want && wrong++ == 0)
                first = QPoint(x, y);
        }
    if (wrong == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << wrong << " pixels of " << image.width() << " by " << image.height() << " wrong, first at ("
           << first.x() << ", " << first.y() << "): " << std::hex << (image.pixel(first) & 0xFFFFFF)
           << std::dec << "; expected " << in.name().toStdString() << " in (" << inside.x() << ", "
           << inside.y() << ", " << inside.width() << ", " << inside.height() << "), "
           << out.name().toStdString() << " elsewhere";
}

inline ::testing::AssertionResult AllOf(const QImage& image, const QColor& colour)
{
    return Covers(image, image.rect(), colour, colour);
}

// Records every cursor the program asks a window for while it lives.
class CursorLog {
public:
    CursorLog()
    {
        fw::testing::SetMouseCursorObserver([this](fw::MouseCursor c) { seen.push_back(c); });
    }
    ~CursorLog() { fw::testing::SetMouseCursorObserver(nullptr); }
    CursorLog(const CursorLog&) = delete;
    CursorLog& operator=(const CursorLog&) = delete;

    // How many times the user was made to wait, each wait followed by the standard pointer.
    int Waits() const
    {
        int waits = 0;
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i] == fw::MouseCursor::Wait) {
                ++waits;
                EXPECT_TRUE(i + 1 < seen.size() && seen[i + 1] == fw::MouseCursor::StandardPointer)
                    << "a wait at " << i << " not ended by the standard pointer";
            }
        return waits;
    }

    std::vector<fw::MouseCursor> seen;
};

// Counts the times the toolkit paints the pane, to see that the program asks for a repaint.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(Window1& w) : pane_(harness::WidgetOf(w.PreviewCanvas())) { pane_->installEventFilter(this); }
    ~PaintCounter() override { pane_->removeEventFilter(this); }

    // Lets every paint already asked for happen (a repaint is a posted request), and gives the
    // count after them.
    int Settled()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return paints;
    }

    // Waits until the pane has been painted since `since`; false when it never is.
    bool PaintedSince(int since) const
    {
        return QTest::qWaitFor([&] { return paints > since; }, 60000);
    }

    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private:
    QWidget* pane_;
};

} // namespace preview_support
