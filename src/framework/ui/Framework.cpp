#include "Framework.h"

#include "Application.h"
#include "Controls.h"
#include "Delegate.h"
#include "Graphics.h"
#include "Listbox.h"
#include "MenuItem.h"
#include "RowsHandOver.h"
#include "Window.h"
#include "framework/files/FolderItem.h"
#include "framework/files/TextOutputStream.h"
#include "framework/runtime/Runtime.h"

#include <map>
#include <string>

namespace fw {
namespace {

std::vector<Ref<Window>>* gWindows = nullptr;
std::vector<Ref<Window>> gDirtyWindows;
std::map<std::string, Window*>& ImplicitWindows()
{
    static std::map<std::string, Window*> m;
    return m;
}
std::map<std::string, ClassTable*> gArrayMap, gClassRefMap, gClassFQNToRefMap;

} // namespace

void InitFrameworkClasses()
{
    Object::ctblinit();
    Delegate::ctblinit();
    Application::ctblinit();
    Window::ctblinit();
    WindowSupport::WindowsInit();
    RectControl::ctblinit();
    Listbox::ctblinit();
    EditField::ctblinit();
    StaticText::ctblinit();
    PushButton::ctblinit();
    CheckBox::ctblinit();
    Canvas::ctblinit();
    MenuItem::ctblinit();
    MenuBar::ctblinit();
    QuitMenuItem::ctblinit();
    Picture::ctblinit();
    Graphics::ctblinit();
    FolderItem::ctblinit();
    TextOutputStream::ctblinit();
    for (ClassTable* t : RuntimeAllClassTables()) {
        gClassRefMap[t->name] = t;
        gClassFQNToRefMap["fw." + t->name] = t;
    }
}

namespace WindowSupport {
void WindowsInit()
{
    if (!gWindows)
        gWindows = new std::vector<Ref<Window>>;
    gWindows->clear();
}
void WindowsExit()
{
    RuntimeTrace("WindowSupport.Windows.Exit");
    if (!gWindows)
        return;
    // Release outside the list: a window's exit hook may look at the list.
    std::vector<Ref<Window>> windows;
    windows.swap(*gWindows);
    if (RuntimeEndsTheProcess())
        for (const Ref<Window>& w : windows)
            KeepListRowsToTheEnd(*w);
    windows.clear();
}
void DirtyWindowsExit()
{
    RuntimeTrace("WindowSupport.mDirtyWindows.Exit");
    gDirtyWindows.clear();
}
const std::vector<Ref<Window>>& Windows()
{
    // Reading the list must not empty it: it holds the program's only reference to its windows.
    if (!gWindows)
        gWindows = new std::vector<Ref<Window>>;
    return *gWindows;
}
void Register(const Ref<Window>& window)
{
    if (!gWindows)
        gWindows = new std::vector<Ref<Window>>;
    gWindows->push_back(window);
}
} // namespace WindowSupport

void ImplicitWindowListExit()
{
    RuntimeTrace("mImplicitWindowList.Exit");
    ImplicitWindows().clear();
}

void RegisterImplicitWindow(const String& className, Window* window)
{
    ImplicitWindows()[className.str()] = window;
}

void ForgetImplicitWindow(Window* window)
{
    auto& m = ImplicitWindows();
    for (auto it = m.begin(); it != m.end();)
        it = it->second == window ? m.erase(it) : std::next(it);
}

Ref<Window> GetImplicitWindow(const String& className)
{
    auto& m = ImplicitWindows();
    auto it = m.find(className.str());
    return it == m.end() ? Ref<Window>() : Ref<Window>(it->second);
}

namespace Introspection {
void ArrayInfoMapExit()
{
    RuntimeTrace("Introspection.ArrayInfo.mArrayMap.Exit");
    gArrayMap.clear();
}
void ClassRefMapExit()
{
    RuntimeTrace("Introspection.ClassInfo.sClassRefMap.Exit");
    gClassRefMap.clear();
}
void ClassFQNToRefMapExit()
{
    RuntimeTrace("Introspection.ClassInfo.sClassFQNToRefMap.Exit");
    gClassFQNToRefMap.clear();
}
} // namespace Introspection

} // namespace fw
