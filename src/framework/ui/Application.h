#pragma once
// Application: the application object of a run, with its menu bar and its events ("Open" is
// raised when the event loop starts).
#include "MenuItem.h"
#include "framework/runtime/ClassTable.h"

namespace fw {

class Application : public Object {
    FW_DECLARE_CLASS()
public:
    void SetMenuBar(const Ref<MenuBar>& bar) { menuBar_ = bar; }
    Ref<MenuBar> GetMenuBar() const { return menuBar_; }

protected:
    Application() = default;

private:
    Ref<MenuBar> menuBar_;
};

} // namespace fw
