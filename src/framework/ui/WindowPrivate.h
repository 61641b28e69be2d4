#pragma once
// The toolkit side of a window.
#include "Window.h"

#include <QMenuBar>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace fw {

class ContentWidget : public QWidget {
public:
    ContentWidget(Window& owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    Window& owner_;
};

class WindowHost : public QWidget {
public:
    explicit WindowHost(Window& owner);
    ContentWidget* Content() const { return content_; }
    QMenuBar* Bar() const { return bar_; }
    void SetBar(QMenuBar* bar);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    Window& owner_;
    ContentWidget* content_;
    QMenuBar* bar_ = nullptr;
};

inline QWidget* WindowContent(const Window& w)
{
    return w.Host() ? w.Host()->Content() : nullptr;
}

namespace testing {
// Told of every cursor a window is asked to show, the same one again included, so a test can
// see when the program makes the user wait; nullptr stops it.
void SetMouseCursorObserver(std::function<void(MouseCursor)> observer);
} // namespace testing

} // namespace fw
