#pragma once
// The toolkit side of a window.
#include "Window.h"

#include <QMenuBar>
#include <QPointer>
#include <QWidget>

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

} // namespace fw
