#pragma once
// The program's one menu bar: a File menu with Quit and an Edit menu with the usual editing
// commands. Built once, on the first request, and shared by the application and its window.
#include "framework/ui/MenuItem.h"

class MenuBar1 : public fw::MenuBar {
    FW_DECLARE_CLASS()
public:
    // The one instance, made and built on the first call.
    static fw::Ref<MenuBar1> ImplicitInstance();
    // Exit hook: releases the instance.
    static void implicitInstanceExit();
    static bool HasImplicitInstance();

    void Constructor() override;
    virtual void Untitled0(); // the File menu
    virtual void Untitled1(); // the Edit menu

protected:
    MenuBar1() = default;
    // Makes one item and attaches it to the bar, or to the top menu named.
    void AddItem(fw::ClassTable* cls, const char* name, const char* text, const char* shortcut,
                 const char* topMenu);
};
