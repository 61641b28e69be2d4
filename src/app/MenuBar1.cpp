#include "MenuBar1.h"

#include "framework/runtime/Runtime.h"

namespace {
fw::Ref<MenuBar1> implicitInstance;
}

FW_CLASS_TABLE(MenuBar1, fw::MenuBar, "MenuBar1.MenuBar1")
{
    t.factory = [] { return static_cast<fw::Object*>(new MenuBar1); };
    for (const char* m : {"Untitled0", "Untitled1", "Constructor"})
        t.members.push_back({m, "%%", {{"__Scope", "Public"}}});
    t.attributes = {{"__Scope", "Public"}};
}

fw::Ref<MenuBar1> MenuBar1::ImplicitInstance()
{
    if (!implicitInstance) {
        // Stored only once built: a bar whose building failed is dropped, and the next
        // request starts again.
        fw::Ref<MenuBar1> bar = fw::RuntimeCheckCast<MenuBar1>(fw::RuntimeNewObject(Lookup()));
        bar->Constructor();
        implicitInstance = bar;
    }
    return implicitInstance;
}

void MenuBar1::implicitInstanceExit()
{
    fw::RuntimeTrace("MenuBar1.implicitInstance.Exit");
    implicitInstance.Clear();
}

bool MenuBar1::HasImplicitInstance() { return bool(implicitInstance); }

void MenuBar1::Constructor()
{
    Untitled0();
    Untitled1();
}

void MenuBar1::AddItem(fw::ClassTable* cls, const char* name, const char* text, const char* shortcut,
                       const char* topMenu)
{
    fw::Ref<fw::MenuItem> item = fw::RuntimeCheckCast<fw::MenuItem>(fw::RuntimeNewObject(cls));
    item->Constructor();
    item->SetName(name);
    item->SetAutoEnable(true);
    item->SetText(text);
    if (shortcut)
        item->SetKeyboardShortcut(shortcut);
    if (!topMenu)
        Append(item);
    else
        Child(topMenu)->Append(item); // a missing top menu raises the nil-object exception
}

void MenuBar1::Untitled0()
{
    AddItem(fw::MenuItem::Lookup(), "FileMenu", "&File", "", nullptr);
    AddItem(fw::QuitMenuItem::Lookup(), "FileQuit", "&Quit", "Cmd+Q", "FileMenu");
}

void MenuBar1::Untitled1()
{
    fw::ClassTable* item = fw::MenuItem::Lookup();
    AddItem(item, "EditMenu", "&Edit", "", nullptr);
    AddItem(item, "EditUndo", "&Undo", "Cmd+Z", "EditMenu");
    AddItem(item, "UntitledMenu1", "-", nullptr, "EditMenu");
    AddItem(item, "EditCut", "Cu&t", "Cmd+X", "EditMenu");
    AddItem(item, "EditCopy", "&Copy", "Cmd+C", "EditMenu");
    AddItem(item, "EditPaste", "&Paste", "Cmd+V", "EditMenu");
    AddItem(item, "EditClear", "&Delete", "", "EditMenu");
    AddItem(item, "UntitledMenu0", "-", nullptr, "EditMenu");
    AddItem(item, "EditSelectAll", "Select &All", "Cmd+A", "EditMenu");
}
