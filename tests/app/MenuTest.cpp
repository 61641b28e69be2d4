// The menu bar: one bar shared by the application and its window, built once, reading File
// (Quit) and Edit (Undo, Cut, Copy, Paste, Delete, Select All) with their shortcuts.
#include "ProgramHarness.h"
#include "app/MenuBar1.h"
#include "framework/ui/Application.h"
#include "framework/ui/MenuPeer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

#include <optional>

using namespace fw;
using harness::RunProgram;

namespace {

struct Row {
    const char* cls;
    const char* name;
    const char* text;
    std::optional<const char*> shortcut;
};

const Row kFile[] = {{"QuitMenuItem", "FileQuit", "&Quit", "Cmd+Q"}};
const Row kEdit[] = {
    {"MenuItem", "EditUndo", "&Undo", "Cmd+Z"},     {"MenuItem", "UntitledMenu1", "-", std::nullopt},
    {"MenuItem", "EditCut", "Cu&t", "Cmd+X"},       {"MenuItem", "EditCopy", "&Copy", "Cmd+C"},
    {"MenuItem", "EditPaste", "&Paste", "Cmd+V"},   {"MenuItem", "EditClear", "&Delete", ""},
    {"MenuItem", "UntitledMenu0", "-", std::nullopt}, {"MenuItem", "EditSelectAll", "Select &All", "Cmd+A"},
};

template <size_t N>
void ExpectMenu(const Ref<MenuItem>& menu, const Row (&rows)[N])
{
    ASSERT_EQ(menu->Count(), static_cast<int32_t>(N));
    for (size_t i = 0; i < N; ++i) {
        Ref<MenuItem> item = menu->Item(static_cast<int32_t>(i));
        EXPECT_EQ(item->Class()->name, rows[i].cls);
        EXPECT_EQ(item->Name(), rows[i].name);
        EXPECT_EQ(item->Text(), rows[i].text);
        EXPECT_TRUE(item->AutoEnable()) << rows[i].name;
        ASSERT_EQ(item->KeyboardShortcut().has_value(), rows[i].shortcut.has_value()) << rows[i].name;
        if (rows[i].shortcut) {
            EXPECT_EQ(*item->KeyboardShortcut(), *rows[i].shortcut);
        }
    }
}

QMenu* NativeMenu(Window1& w, const char* name)
{
    for (QAction* top : static_cast<WindowHost*>(w.Host())->Bar()->actions())
        if (top->menu() && top->menu()->objectName() == name)
            return top->menu();
    return nullptr;
}

} // namespace

TEST(Menus, TheTreeReadsFileThenEditWithTheirItems)
{
    RunProgram([](Window1& w) {
        Ref<MenuBar> bar = w.GetMenuBar();
        ASSERT_EQ(bar->Count(), 2);
        EXPECT_EQ(bar->Item(0)->Name(), "FileMenu");
        EXPECT_EQ(bar->Item(0)->Text(), "&File");
        EXPECT_EQ(*bar->Item(0)->KeyboardShortcut(), "");
        EXPECT_EQ(bar->Item(1)->Name(), "EditMenu");
        EXPECT_EQ(bar->Item(1)->Text(), "&Edit");
        EXPECT_TRUE(bar->Item(0)->AutoEnable() && bar->Item(1)->AutoEnable());
        ExpectMenu(bar->Item(0), kFile);
        ExpectMenu(bar->Item(1), kEdit);
        // The window's accessors find the same items by name.
        EXPECT_EQ(w.EditClear()->Text(), "&Delete");
        EXPECT_EQ(w.FileQuit()->Name(), "FileQuit");
        EXPECT_EQ(w.UntitledMenu1(), bar->Item(1)->Item(1));
    });
}

TEST(Menus, TheApplicationAndTheWindowShareOneBarBuiltOnce)
{
    RunProgram([](Window1& w) {
        Ref<Application> app = RuntimeAppObject();
        ASSERT_TRUE(app);
        EXPECT_EQ(app->GetMenuBar(), w.GetMenuBar());
        EXPECT_EQ(Ref<MenuBar>(MenuBar1::ImplicitInstance()), w.GetMenuBar());
        EXPECT_EQ(w.GetMenuBar()->Count(), 2); // built once: no second File or Edit menu
    });
}

TEST(Menus, TheToolkitMenusShowMnemonicsSeparatorsAndControlShortcuts)
{
    RunProgram([](Window1& w) {
        QMenuBar* bar = static_cast<WindowHost*>(w.Host())->Bar();
        ASSERT_EQ(bar->actions().size(), 2);
        EXPECT_EQ(bar->actions()[0]->text(), "&File");
        EXPECT_EQ(bar->actions()[1]->text(), "&Edit");
        QMenu* edit = NativeMenu(w, "EditMenu");
        ASSERT_NE(edit, nullptr);
        QStringList texts;
        for (QAction* a : edit->actions())
            texts << (a->isSeparator() ? "-" : a->text() + "|" + a->shortcut().toString());
        EXPECT_EQ(texts.join(","),
                  "&Undo|Ctrl+Z,-,Cu&t|Ctrl+X,&Copy|Ctrl+C,&Paste|Ctrl+V,&Delete|,-,Select &All|Ctrl+A");
        QMenu* file = NativeMenu(w, "FileMenu");
        ASSERT_EQ(file->actions().size(), 1);
        EXPECT_EQ(file->actions()[0]->shortcut(), QKeySequence("Ctrl+Q"));
    });
}

TEST(Menus, EditItemsActOnTheFocusedFieldAndEnableWhenTheyApply)
{
    RunProgram([](Window1& w) {
        auto* field = qobject_cast<QLineEdit*>(harness::WidgetOf(w.HintField()));
        ASSERT_NE(field, nullptr);
        field->setFocus();
        QApplication::setActiveWindow(w.Host());
        field->setText("specimen 123456");
        field->setSelection(0, 8);
        QMenu* edit = NativeMenu(w, "EditMenu");
        emit edit->aboutToShow();
        auto action = [&](const char* name) { return edit->findChild<QAction*>(name); };
        EXPECT_TRUE(action("EditCut")->isEnabled());
        EXPECT_TRUE(action("EditCopy")->isEnabled());
        action("EditCut")->trigger();
        EXPECT_EQ(field->text(), " 123456");
        EXPECT_EQ(QApplication::clipboard()->text(), "specimen");
        field->setSelection(0, 0);
        emit edit->aboutToShow();
        EXPECT_FALSE(action("EditCut")->isEnabled()); // nothing selected
        EXPECT_FALSE(action("EditClear")->isEnabled());
        EXPECT_TRUE(action("EditPaste")->isEnabled());
        EXPECT_TRUE(action("EditUndo")->isEnabled());
        emit edit->aboutToHide();
        action("EditSelectAll")->trigger();
        EXPECT_EQ(field->selectedText(), " 123456");
        action("EditPaste")->trigger();
        EXPECT_EQ(field->text(), "specimen");
        action("EditUndo")->trigger();
        EXPECT_EQ(field->text(), " 123456");
    });
}

TEST(Menus, AWindowWithoutABarRaisesOnItsMenuAccessors)
{
    RunProgram([](Window1& w) {
        Ref<MenuBar> bar = w.GetMenuBar();
        w.SetMenuBar(nullptr);
        EXPECT_THROW(w.EditMenu(), NilObjectException);
        w.SetMenuBar(bar);
        EXPECT_TRUE(w.EditMenu());
    });
}

TEST(Menus, ShortcutTextsBecomeTheToolkitsNotation)
{
    EXPECT_EQ(NativeShortcut("Cmd+Q"), "Ctrl+Q");
    EXPECT_EQ(NativeShortcut("Cmd+Shift+S"), "Ctrl+Shift+S");
    EXPECT_EQ(NativeShortcut(""), "");
}
