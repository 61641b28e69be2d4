#pragma once
// Window: a top-level window with the menu bar on top and a content area in which controls
// stand at absolute positions. Width and Height are the content area's. While it is built the
// framework raises the hooks "Layout", "CreateControls" and "AddMenuHandlers", then "Open";
// resizing raises "Resizing" as it happens and "Resized" once it settles.
#include "MenuItem.h"
#include "PropertyRecord.h"
#include "RectControl.h"
#include "framework/runtime/ClassTable.h"
#include "framework/runtime/String.h"

#include <memory>
#include <string_view>
#include <vector>

namespace fw {

class WindowHost;

enum class MouseCursor { StandardPointer, Wait };
namespace System::Cursors {
inline constexpr MouseCursor StandardPointer = MouseCursor::StandardPointer;
inline constexpr MouseCursor Wait = MouseCursor::Wait;
} // namespace System::Cursors

class Window : public Object, public PropertyKeeper {
    FW_DECLARE_CLASS()
public:
    ~Window() override;

    // Builds the window: the hooks, the design-time properties, then shows it and raises Open.
    virtual void Constructor();

    int32_t Width() const;
    int32_t Height() const;
    void SetWidth(int32_t v);
    void SetHeight(int32_t v);
    void SetMinWidth(int32_t v);
    void SetMinHeight(int32_t v);
    void SetMaxWidth(int32_t v);
    void SetMaxHeight(int32_t v);
    int32_t MinWidth() const { return minWidth_; }
    int32_t MinHeight() const { return minHeight_; }
    String Title() const { return title_; }
    void SetTitle(const String& title);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    // Frame buttons and resizing.
    void SetFrameOption(std::string_view option, bool on);
    bool FrameOption(std::string_view option) const;

    void SetMenuBar(const Ref<MenuBar>& bar);
    Ref<MenuBar> GetMenuBar() const { return menuBar_; }
    void SetMouseCursor(MouseCursor c);
    MouseCursor GetMouseCursor() const { return cursor_; }

    // A new control of the given class that belongs to this window, not yet constructed.
    Ref<RectControl> New(ClassTable* controlClass);
    // Makes the control part of the window under its name.
    void AddControl(const String& name, const Ref<RectControl>& control);
    Ref<RectControl> ControlByName(std::string_view name) const;
    const std::vector<Ref<RectControl>>& Controls() const { return controls_; }

    // Closes the window as its close button does.
    void Close();
    bool IsOpen() const { return opened_ && !closed_; }

    WindowHost* Host() const { return host_.get(); }
    // Called by the toolkit side.
    void ContentResized(int32_t w, int32_t h);
    void HandleClose();
    void RaiseResized();

protected:
    Window();

private:
    void ApplySize();
    void ApplyFlags();

    std::unique_ptr<WindowHost> host_;
    std::vector<Ref<RectControl>> controls_;
    Ref<MenuBar> menuBar_;
    String title_;
    int32_t width_ = 0, height_ = 0;
    int32_t minWidth_ = 0, minHeight_ = 0, maxWidth_ = 32000, maxHeight_ = 32000;
    bool visible_ = false, opened_ = false, closed_ = false, resizedPending_ = false;
    bool closeButton_ = true, minimizeButton_ = true, maximizeButton_ = true, resizeable_ = true;
    bool liveResize_ = true, fullScreen_ = false, menuBarVisible_ = true;
    MouseCursor cursor_ = MouseCursor::StandardPointer;
};

// The window of that class that an accessor made earlier, or nil.
Ref<Window> GetImplicitWindow(const String& className);
// The window's control of that name, or nil (a nil window raises NilObjectException).
Ref<RectControl> RuntimeWindowControlByName(const Ref<Window>& window, std::string_view name);

template <typename T>
Ref<T> ControlAs(const Ref<Window>& window, std::string_view name)
{
    return RuntimeCheckCast<T>(Ref<Object>(RuntimeWindowControlByName(window, name)));
}

} // namespace fw
