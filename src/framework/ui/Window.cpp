#include "Window.h"

#include "ControlPeer.h"
#include "Framework.h"
#include "MenuItem.h"
#include "MenuPeer.h"
#include "PropertyRecord.h"
#include "WindowPrivate.h"
#include "framework/runtime/Runtime.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace fw {

FW_CLASS_TABLE(Window, Object, "Window")
{
    for (const char* e : {"Layout", "CreateControls", "AddMenuHandlers", "Open", "Close", "CancelClose",
                          "Activate", "Deactivate", "Resized", "Resizing", "Moved", "Paint", "MouseDown",
                          "KeyDown", "EnableMenuItems", "Maximize", "Minimize", "Restore"})
        t.DeclareEvent(e);
    auto frame = [](const char* option) {
        return PropertyInfo{option, "b", 'B', [option](Object& o, const PropertyValue& v) {
                                static_cast<Window&>(o).SetFrameOption(option, v.b);
                            }, {}};
    };
    t.properties = {
        KeptProperty("Placement", 'I'),
        IntProperty("Width", &Window::SetWidth),
        IntProperty("Height", &Window::SetHeight),
        IntProperty("MinWidth", &Window::SetMinWidth),
        IntProperty("MinHeight", &Window::SetMinHeight),
        IntProperty("MaxWidth", &Window::SetMaxWidth),
        IntProperty("MaxHeight", &Window::SetMaxHeight),
        KeptProperty("Frame", 'I'),
        KeptProperty("Composite", 'B'),
        KeptProperty("HasBackColor", 'B'),
        KeptProperty("BackColor", 'C'),
        StringProperty("Title", &Window::SetTitle),
        BoolProperty("Visible", &Window::SetVisible),
        frame("FullScreen"),
        frame("MenuBarVisible"),
        frame("CloseButton"),
        frame("Resizeable"),
        frame("LiveResize"),
        frame("MaximizeButton"),
        frame("MinimizeButton"),
        KeptProperty("MacProcID", 'I'),
    };
}

void ContentWidget::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    owner_.ContentResized(width(), height());
}

WindowHost::WindowHost(Window& owner) : QWidget(nullptr), owner_(owner), content_(new ContentWidget(owner, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content_);
}

void WindowHost::SetBar(QMenuBar* bar)
{
    delete bar_;
    bar_ = bar;
    layout()->setMenuBar(bar);
}

void WindowHost::closeEvent(QCloseEvent* e)
{
    e->accept();
    owner_.HandleClose();
}

Window::Window() = default;

Window::~Window()
{
    SetMouseCursor(MouseCursor::StandardPointer);
    ForgetImplicitWindow(this);
    // Controls go before the host, whose widgets they own.
    controls_.clear();
}

void Window::Constructor()
{
    host_ = std::make_unique<WindowHost>(*this);
    host_->setAttribute(Qt::WA_DeleteOnClose, false);
    WindowSupport::Register(Ref<Window>(*this));
    RegisterImplicitWindow(String(Class()->name), this);
    // Construction hooks: a failure here passes to whoever asked for the window.
    RaiseEvent(*this, "Layout");
    RaiseEvent(*this, "CreateControls");
    RaiseEvent(*this, "AddMenuHandlers");
    ApplyFlags();
    ApplySize();
    if (visible_)
        host_->show();
    opened_ = true;
    RuntimeDispatch([&] { RaiseEvent(*this, "Open"); });
}

int32_t Window::Width() const { return width_; }
int32_t Window::Height() const { return height_; }

void Window::SetWidth(int32_t v)
{
    width_ = v;
    ApplySize();
}

void Window::SetHeight(int32_t v)
{
    height_ = v;
    ApplySize();
}

void Window::SetMinWidth(int32_t v) { minWidth_ = v; ApplySize(); }
void Window::SetMinHeight(int32_t v) { minHeight_ = v; ApplySize(); }
void Window::SetMaxWidth(int32_t v) { maxWidth_ = v; ApplySize(); }
void Window::SetMaxHeight(int32_t v) { maxHeight_ = v; ApplySize(); }

void Window::ApplySize()
{
    if (!host_)
        return;
    ContentWidget* c = host_->Content();
    c->setMinimumSize(std::max(minWidth_, 0), std::max(minHeight_, 0));
    c->setMaximumSize(std::clamp(maxWidth_, 1, QWIDGETSIZE_MAX), std::clamp(maxHeight_, 1, QWIDGETSIZE_MAX));
    int32_t w = std::clamp(width_, std::max(minWidth_, 0), std::max(maxWidth_, minWidth_));
    int32_t h = std::clamp(height_, std::max(minHeight_, 0), std::max(maxHeight_, minHeight_));
    int bar = host_->Bar() && menuBarVisible_ ? host_->Bar()->sizeHint().height() : 0;
    host_->resize(w, h + bar);
    host_->layout()->activate();
    width_ = c->width();
    height_ = c->height();
}

void Window::ApplyFlags()
{
    if (!host_)
        return;
    Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    if (closeButton_) f |= Qt::WindowCloseButtonHint;
    if (minimizeButton_) f |= Qt::WindowMinimizeButtonHint;
    if (maximizeButton_ && resizeable_) f |= Qt::WindowMaximizeButtonHint;
    host_->setWindowFlags(f);
    if (host_->Bar())
        host_->Bar()->setVisible(menuBarVisible_);
    if (!resizeable_)
        host_->layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void Window::SetTitle(const String& title)
{
    title_ = title;
    if (host_)
        host_->setWindowTitle(QString::fromUtf8(title.data(), title.size()));
}

void Window::SetVisible(bool v)
{
    visible_ = v;
    if (host_ && opened_)
        host_->setVisible(v);
}

void Window::SetFrameOption(std::string_view option, bool on)
{
    if (option == "CloseButton") closeButton_ = on;
    else if (option == "MinimizeButton") minimizeButton_ = on;
    else if (option == "MaximizeButton") maximizeButton_ = on;
    else if (option == "Resizeable") resizeable_ = on;
    else if (option == "LiveResize") liveResize_ = on;
    else if (option == "FullScreen") fullScreen_ = on;
    else if (option == "MenuBarVisible") menuBarVisible_ = on;
    if (opened_)
        ApplyFlags();
}

bool Window::FrameOption(std::string_view option) const
{
    if (option == "CloseButton") return closeButton_;
    if (option == "MinimizeButton") return minimizeButton_;
    if (option == "MaximizeButton") return maximizeButton_;
    if (option == "Resizeable") return resizeable_;
    if (option == "LiveResize") return liveResize_;
    if (option == "FullScreen") return fullScreen_;
    if (option == "MenuBarVisible") return menuBarVisible_;
    return false;
}

void Window::SetMenuBar(const Ref<MenuBar>& bar)
{
    menuBar_ = bar;
    if (host_)
        host_->SetBar(bar ? BuildNativeMenuBar(*bar, host_.get()) : nullptr);
    ApplySize();
}

namespace {
std::function<void(MouseCursor)>& CursorObserver()
{
    static std::function<void(MouseCursor)> observer;
    return observer;
}
} // namespace

namespace testing {
void SetMouseCursorObserver(std::function<void(MouseCursor)> observer)
{
    CursorObserver() = std::move(observer);
}
} // namespace testing

void Window::SetMouseCursor(MouseCursor c)
{
    if (CursorObserver())
        CursorObserver()(c);
    if (c == cursor_)
        return;
    cursor_ = c;
    if (c == MouseCursor::Wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

Ref<RectControl> Window::New(ClassTable* controlClass)
{
    if (!controlClass || !controlClass->IsA(RectControl::Lookup()))
        throw InvalidArgumentException("Only controls can be placed in a window.");
    Ref<RectControl> c = RuntimeCheckCast<RectControl>(RuntimeNewObject(controlClass));
    c->window_ = this;
    return c;
}

void Window::AddControl(const String& name, const Ref<RectControl>& control)
{
    if (!control)
        ThrowNilObject();
    control->SetName(name);
    controls_.push_back(control);
}

Ref<RectControl> Window::ControlByName(std::string_view name) const
{
    for (const Ref<RectControl>& c : controls_)
        if (c->Name().view() == name)
            return c;
    return nullptr;
}

Ref<RectControl> RuntimeWindowControlByName(const Ref<Window>& window, std::string_view name)
{
    return window->ControlByName(name);
}

void Window::Close()
{
    if (host_)
        host_->close();
}

void Window::ContentResized(int32_t w, int32_t h)
{
    width_ = w;
    height_ = h;
    if (!opened_)
        return;
    RuntimeDispatch([&] { RaiseEvent(*this, "Resizing"); });
    if (resizedPending_)
        return;
    // "Resized" once the size settles: after the events already queued.
    resizedPending_ = true;
    QTimer::singleShot(0, host_.get(), [this] { RaiseResized(); });
}

void Window::RaiseResized()
{
    resizedPending_ = false;
    RuntimeDispatch([&] { RaiseEvent(*this, "Resized"); });
}

void Window::HandleClose()
{
    if (closed_)
        return;
    closed_ = true;
    RuntimeDispatch([&] { RaiseEvent(*this, "Close"); });
    // Linux has no global menu bar to keep the program alive: closing the last window ends it.
    for (const Ref<Window>& w : WindowSupport::Windows())
        if (w->IsOpen())
            return;
    RuntimeQuit();
}

} // namespace fw
