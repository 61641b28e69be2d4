#include "MenuItem.h"

#include "MenuPeer.h"
#include "framework/runtime/Runtime.h"
#include "framework/runtime/StringFunctions.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

namespace fw {

FW_CLASS_TABLE(MenuItem, Object, "MenuItem")
{
    t.factory = [] { return static_cast<Object*>(new MenuItem); };
    t.DeclareEvent("Action");
    t.DeclareEvent("EnableMenu");
}
FW_CLASS_TABLE(MenuBar, MenuItem, "MenuBar")
{
    t.factory = [] { return static_cast<Object*>(new MenuBar); };
}
FW_CLASS_TABLE(QuitMenuItem, MenuItem, "QuitMenuItem")
{
    t.factory = [] { return static_cast<Object*>(new QuitMenuItem); };
}

void MenuItem::Append(const Ref<MenuItem>& item)
{
    if (!item)
        ThrowNilObject();
    children_.push_back(item);
}

Ref<MenuItem> MenuItem::Item(int32_t index) const
{
    return index >= 0 && index < Count() ? children_[index] : Ref<MenuItem>();
}

Ref<MenuItem> MenuItem::Child(const String& name) const
{
    for (const Ref<MenuItem>& c : children_)
        if (Equals(c->Name(), name))
            return c;
    return nullptr;
}

Ref<MenuItem> MenuItem::Lookup(const String& name) const
{
    for (const Ref<MenuItem>& c : children_) {
        if (Equals(c->Name(), name))
            return c;
        if (Ref<MenuItem> found = c->Lookup(name))
            return found;
    }
    return nullptr;
}

namespace {

QLineEdit* FocusedField()
{
    return qobject_cast<QLineEdit*>(QApplication::focusWidget());
}

// The standard Edit commands, acting on the focused text field.
bool EditCommand(const String& name, bool perform)
{
    QLineEdit* f = FocusedField();
    if (!f)
        return false;
    bool canCut = f->hasSelectedText() && !f->isReadOnly() && f->echoMode() == QLineEdit::Normal;
    std::string n = name.str();
    if (n == "EditUndo") {
        if (perform) f->undo();
        return f->isUndoAvailable();
    }
    if (n == "EditCut") {
        if (perform && canCut) f->cut();
        return canCut;
    }
    if (n == "EditCopy") {
        if (perform) f->copy();
        return f->hasSelectedText() && f->echoMode() == QLineEdit::Normal;
    }
    if (n == "EditPaste") {
        bool can = !f->isReadOnly() && !QApplication::clipboard()->text().isEmpty();
        if (perform && can) f->paste();
        return can;
    }
    if (n == "EditClear") {
        if (perform && f->hasSelectedText() && !f->isReadOnly()) f->del();
        return f->hasSelectedText() && !f->isReadOnly();
    }
    if (n == "EditSelectAll") {
        if (perform) f->selectAll();
        return !f->text().isEmpty();
    }
    return false;
}

bool IsEditCommand(const String& name)
{
    for (const char* n : {"EditUndo", "EditCut", "EditCopy", "EditPaste", "EditClear", "EditSelectAll"})
        if (name == n)
            return true;
    return false;
}

void AddItems(MenuItem& menu, QMenu* native)
{
    for (int32_t i = 0; i < menu.Count(); ++i) {
        Ref<MenuItem> item = menu.Item(i);
        if (item->IsSeparator()) {
            native->addSeparator();
            continue;
        }
        auto* action = native->addAction(QString::fromUtf8(item->Text().data(), item->Text().size()));
        action->setObjectName(QString::fromUtf8(item->Name().data(), item->Name().size()));
        if (auto sc = item->KeyboardShortcut(); sc && !sc->empty())
            action->setShortcut(QKeySequence(NativeShortcut(*sc)));
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, action, [item] {
            RuntimeDispatch([&] { item->DefaultAction(); });
        });
    }
    // Enable the items that apply when the menu opens; while it is closed every item stays
    // enabled, so that its shortcut reaches it and it decides for itself.
    QObject::connect(native, &QMenu::aboutToShow, native, [native, m = Ref<MenuItem>(menu)] {
        for (QAction* a : native->actions()) {
            if (a->isSeparator())
                continue;
            Ref<MenuItem> item = m->Child(String(a->objectName().toStdString()));
            if (item && item->AutoEnable() && IsEditCommand(item->Name()))
                a->setEnabled(EditCommand(item->Name(), false));
        }
    });
    QObject::connect(native, &QMenu::aboutToHide, native, [native] {
        for (QAction* a : native->actions())
            a->setEnabled(true);
    });
}

} // namespace

void MenuItem::DefaultAction()
{
    if (IsEditCommand(name_))
        EditCommand(name_, true);
}

void QuitMenuItem::DefaultAction()
{
    RuntimeQuit();
}

QString NativeShortcut(const String& shortcut)
{
    QString s = QString::fromUtf8(shortcut.data(), shortcut.size());
    s.replace("Cmd", "Ctrl", Qt::CaseInsensitive);
    s.replace("Option", "Alt", Qt::CaseInsensitive);
    return s;
}

QMenuBar* BuildNativeMenuBar(MenuBar& bar, QWidget* parent)
{
    auto* native = new QMenuBar(parent);
    native->setNativeMenuBar(false);
    for (int32_t i = 0; i < bar.Count(); ++i) {
        Ref<MenuItem> top = bar.Item(i);
        QMenu* menu = native->addMenu(QString::fromUtf8(top->Text().data(), top->Text().size()));
        menu->setObjectName(QString::fromUtf8(top->Name().data(), top->Name().size()));
        AddItems(*top, menu);
    }
    return native;
}

} // namespace fw
