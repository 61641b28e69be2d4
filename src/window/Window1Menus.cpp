// The window's menu accessors: each finds its item on the window's menu bar by name.
#include "Window1.h"

using namespace fw;

namespace {
template <typename T = MenuItem>
Ref<T> FindItem(fw::Window& w, const char* name)
{
    Ref<MenuBar> bar = w.GetMenuBar();
    return RuntimeCheckCast<T>(Ref<Object>(bar->Lookup(String(name))));
}
} // namespace

Ref<MenuItem> Window1::EditMenu() { return FindItem(*this, "EditMenu"); }
Ref<MenuItem> Window1::EditSelectAll() { return FindItem(*this, "EditSelectAll"); }
Ref<MenuItem> Window1::UntitledMenu0() { return FindItem(*this, "UntitledMenu0"); }
Ref<MenuItem> Window1::EditClear() { return FindItem(*this, "EditClear"); }
Ref<MenuItem> Window1::EditPaste() { return FindItem(*this, "EditPaste"); }
Ref<MenuItem> Window1::EditCopy() { return FindItem(*this, "EditCopy"); }
Ref<MenuItem> Window1::EditCut() { return FindItem(*this, "EditCut"); }
Ref<MenuItem> Window1::UntitledMenu1() { return FindItem(*this, "UntitledMenu1"); }
Ref<MenuItem> Window1::EditUndo() { return FindItem(*this, "EditUndo"); }
Ref<MenuItem> Window1::FileMenu() { return FindItem(*this, "FileMenu"); }
Ref<QuitMenuItem> Window1::FileQuit() { return FindItem<QuitMenuItem>(*this, "FileQuit"); }

void Window1::AddMenuHandlers(fw::Window& window)
{
    // The menus need no handlers of the window's: Quit and the Edit commands act by themselves.
    RuntimeCheckCast<Window1>(Ref<Object>(window));
}
