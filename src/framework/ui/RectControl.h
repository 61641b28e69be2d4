#pragma once
// RectControl: the base of the six controls. Each owns one toolkit widget that stands at an
// absolute position in its window's content area, and turns the widget's input into named
// events. "MouseDown" and "KeyDown" are raised before the widget acts: a handler that returns
// true swallows the press, false lets the control go on.
#include "Delegate.h"
#include "Graphics.h"
#include "PropertyRecord.h"
#include "framework/runtime/ClassTable.h"
#include "framework/runtime/Runtime.h"
#include "framework/runtime/String.h"

#include <map>
#include <memory>
#include <vector>

namespace fw {

class ControlPeer;
class Window;

class RectControl : public Object, public PropertyKeeper {
    FW_DECLARE_CLASS()
public:
    ~RectControl() override;

    // Builds the control's widget in its window. Called once, after Window::New.
    virtual void Constructor();

    const String& Name() const { return name_; }
    void SetName(const String& name) { name_ = name; }
    Window* GetWindow() const { return window_; }

    int32_t Left() const { return left_; }
    int32_t Top() const { return top_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    void SetLeft(int32_t v);
    void SetTop(int32_t v);
    void SetWidth(int32_t v);
    void SetHeight(int32_t v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    void SetHelpTag(const String& text);
    void SetTextFont(const String& family) { font_.family = family; ApplyFont(); }
    void SetTextSize(int32_t size) { font_.size = size; ApplyFont(); }
    void SetBold(bool on) { font_.bold = on; ApplyFont(); }
    void SetItalic(bool on) { font_.italic = on; ApplyFont(); }
    void SetUnderline(bool on) { font_.underline = on; ApplyFont(); }
    // Asks for a repaint.
    virtual void Refresh(bool eraseBackground = true);

    // The events the control raises, with their parameter lists and signature texts.
    virtual const std::vector<EventDecl>& Events() const;
    const Delegate* Handler(const std::string& eventName) const;
    void SetHandler(const std::string& eventName, const Ref<Delegate>& handler);

    // Raised by the widget; each returns what the handler returned (false when there is none).
    bool RaiseMouseDown(int32_t x, int32_t y);
    bool RaiseKeyDown(const String& key);
    void RaiseSimple(const std::string& eventName); // "Action", "Change", "TextChange"

    ControlPeer* Peer() const { return peer_.get(); }

protected:
    // Calls the handler installed for the event, if any, on behalf of the event loop. The
    // control and the handler stay alive while it runs, whatever it drops.
    template <typename CallT, typename... A>
    auto Raise(const std::string& eventName, A&&... args)
        -> decltype(std::declval<CallT>()(std::declval<RectControl&>(), args...))
    {
        const Delegate* d = Handler(eventName);
        using Result = decltype(std::declval<CallT>()(std::declval<RectControl&>(), args...));
        if (!d)
            return Result();
        Ref<RectControl> self(*this);
        Ref<Delegate> keep(const_cast<Delegate*>(d));
        return RuntimeDispatch([&] { return std::get<CallT>(keep->GetCall())(*self, args...); });
    }

protected:
    RectControl();
    // Makes the widget; the control owns the peer that holds it.
    virtual std::unique_ptr<ControlPeer> CreatePeer() = 0;
    // Pending font settings, applied when the widget exists.
    struct FontSpec {
        String family;
        int32_t size = 0;
        bool bold = false, italic = false, underline = false;
    };
    FontSpec font_;
    void ApplyGeometry();
    void ApplyFont();

private:
    friend class Window;
    String name_;
    Window* window_ = nullptr; // weak: the window owns its controls
    int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true, enabled_ = true;
    String helpTag_;
    std::map<std::string, Ref<Delegate>, std::less<>> handlers_;
    std::unique_ptr<ControlPeer> peer_;
};

} // namespace fw
