#include "RectControl.h"

#include "ControlPeer.h"
#include "Window.h"
#include "WindowPrivate.h"
#include "framework/runtime/Runtime.h"

#include <QApplication>
#include <QFont>

namespace fw {

FW_CLASS_TABLE(RectControl, Object, "RectControl")
{
    t.properties = {
        StringProperty("Name", &RectControl::SetName),
        KeptProperty("Index", 'I'),
        IntProperty("Left", &RectControl::SetLeft),
        IntProperty("Top", &RectControl::SetTop),
        IntProperty("Width", &RectControl::SetWidth),
        IntProperty("Height", &RectControl::SetHeight),
        KeptProperty("LockLeft", 'B'),
        KeptProperty("LockTop", 'B'),
        KeptProperty("LockRight", 'B'),
        KeptProperty("LockBottom", 'B'),
        KeptProperty("TabPanelIndex", 'I'),
        KeptProperty("TabIndex", 'I'),
        KeptProperty("InitialParent", 'S'),
        BoolProperty("Visible", &RectControl::SetVisible),
        BoolProperty("Enabled", &RectControl::SetEnabled),
        StringProperty("HelpTag", &RectControl::SetHelpTag),
        KeptProperty("AutoDeactivate", 'B'),
        KeptProperty("UseFocusRing", 'B'),
        StringProperty("TextFont", &RectControl::SetTextFont),
        IntProperty("TextSize", &RectControl::SetTextSize),
        BoolProperty("Bold", &RectControl::SetBold),
        BoolProperty("Italic", &RectControl::SetItalic),
        BoolProperty("Underline", &RectControl::SetUnderline),
    };
}

RectControl::RectControl() = default;
RectControl::~RectControl() = default;

Window* ControlWindow(RectControl& control)
{
    Window* w = control.GetWindow();
    if (!w)
        ThrowNilObject();
    return w;
}

void RectControl::Constructor()
{
    if (!window_)
        throw NilObjectException("A control was constructed without a window.");
    peer_ = CreatePeer();
    QWidget* w = peer_->Widget();
    ApplyGeometry();
    w->setVisible(visible_);
    w->setEnabled(enabled_);
    ApplyFont();
}

const std::vector<EventDecl>& RectControl::Events() const
{
    static const std::vector<EventDecl> events = {
        {"MouseDown", ParamList::Mouse, "( Int32, Int32 ) as Boolean"},
        {"KeyDown", ParamList::Key, "( String ) as Boolean"},
    };
    return events;
}

void RectControl::ApplyGeometry()
{
    if (QWidget* w = peer_ ? peer_->Widget() : nullptr)
        w->setGeometry(left_, top_, std::max(width_, 0), std::max(height_, 0));
}

void RectControl::SetLeft(int32_t v) { left_ = v; ApplyGeometry(); }
void RectControl::SetTop(int32_t v) { top_ = v; ApplyGeometry(); }
void RectControl::SetWidth(int32_t v) { width_ = v; ApplyGeometry(); }
void RectControl::SetHeight(int32_t v) { height_ = v; ApplyGeometry(); }

void RectControl::SetVisible(bool v)
{
    visible_ = v;
    if (QWidget* w = peer_ ? peer_->Widget() : nullptr)
        w->setVisible(v);
}

void RectControl::SetEnabled(bool v)
{
    enabled_ = v;
    if (QWidget* w = peer_ ? peer_->Widget() : nullptr)
        w->setEnabled(v);
}

void RectControl::SetHelpTag(const String& text)
{
    helpTag_ = text;
    if (QWidget* w = peer_ ? peer_->Widget() : nullptr)
        w->setToolTip(QString::fromUtf8(text.data(), text.size()));
}

void RectControl::ApplyFont()
{
    QWidget* w = peer_ ? peer_->Widget() : nullptr;
    if (!w)
        return;
    const String& family = font_.family;
    QFont f = QApplication::font();
    // "System" and an empty name mean the desktop's own font; size 0 its own size.
    if (!family.empty() && !(family == "System"))
        f.setFamily(QString::fromUtf8(family.data(), family.size()));
    if (font_.size > 0)
        f.setPointSize(font_.size);
    f.setBold(font_.bold);
    f.setItalic(font_.italic);
    f.setUnderline(font_.underline);
    w->setFont(f);
}

void RectControl::Refresh(bool)
{
    if (QWidget* w = peer_ ? peer_->Widget() : nullptr)
        w->update();
}

const Delegate* RectControl::Handler(const std::string& eventName) const
{
    auto it = handlers_.find(eventName);
    return it == handlers_.end() ? nullptr : it->second.Get();
}

void RectControl::SetHandler(const std::string& eventName, const Ref<Delegate>& handler)
{
    if (handler)
        handlers_[eventName] = handler;
    else
        handlers_.erase(eventName);
}

bool RectControl::RaiseMouseDown(int32_t x, int32_t y) { return Raise<MouseCall>("MouseDown", x, y); }

bool RectControl::RaiseKeyDown(const String& key) { return Raise<KeyCall>("KeyDown", key); }

void RectControl::RaiseSimple(const std::string& eventName) { Raise<NoneCall>(eventName); }

void InstallInstanceEventHandler(RectControl& control, const std::string& eventName, const Ref<Delegate>& handler)
{
    const EventDecl* decl = nullptr;
    for (const EventDecl& e : control.Events())
        if (e.name == eventName)
            decl = &e;
    if (!decl)
        throw InvalidArgumentException("The control " + control.Name().str() + " has no event named \"" +
                                       eventName + "\".");
    if (handler && (handler->List() != decl->list || handler->Signature() != decl->signature))
        throw TypeMismatchException("The handler for the event \"" + eventName + "\" of " + control.Name().str() +
                                    " takes " + handler->Signature() + ", but the event passes " +
                                    decl->signature + ".");
    control.SetHandler(eventName, handler);
}

} // namespace fw

namespace fw {
FW_CLASS_TABLE(Delegate, Object, "Delegate") {}
} // namespace fw
