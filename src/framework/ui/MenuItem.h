#pragma once
// Menus: a menu bar is a menu item whose children are the top menus. A text of "-" is a
// separator, "&" marks the mnemonic, and "Cmd+" in a shortcut stands for the platform's primary
// modifier (Ctrl here). Items named EditUndo, EditCut, EditCopy, EditPaste, EditClear and
// EditSelectAll act on the focused text field; a QuitMenuItem ends the application.
#include "framework/runtime/ClassTable.h"
#include "framework/runtime/String.h"

#include <optional>
#include <vector>

namespace fw {

class MenuItem : public Object {
    FW_DECLARE_CLASS()
public:
    virtual void Constructor() {}

    const String& Name() const { return name_; }
    void SetName(const String& name) { name_ = name; }
    String Text() const { return text_; }
    void SetText(const String& text) { text_ = text; }
    // Unset until assigned; an empty text means no shortcut.
    std::optional<String> KeyboardShortcut() const { return shortcut_; }
    void SetKeyboardShortcut(const String& s) { shortcut_ = s; }
    bool AutoEnable() const { return autoEnable_; }
    void SetAutoEnable(bool on) { autoEnable_ = on; }

    void Append(const Ref<MenuItem>& item);
    int32_t Count() const { return static_cast<int32_t>(children_.size()); }
    Ref<MenuItem> Item(int32_t index) const; // 0-based; nil outside
    // The direct child of that name, or nil.
    Ref<MenuItem> Child(const String& name) const;
    // The item of that name anywhere below this one, or nil.
    Ref<MenuItem> Lookup(const String& name) const;
    using Object::Lookup;

    bool IsSeparator() const { return text_ == "-"; }
    // What choosing the item does when no handler takes it.
    virtual void DefaultAction();

protected:
    MenuItem() = default;

private:
    String name_, text_;
    std::optional<String> shortcut_;
    bool autoEnable_ = false;
    std::vector<Ref<MenuItem>> children_;
};

class MenuBar : public MenuItem {
    FW_DECLARE_CLASS()
public:
    using MenuItem::Lookup;

protected:
    MenuBar() = default;
};

class QuitMenuItem : public MenuItem {
    FW_DECLARE_CLASS()
public:
    using MenuItem::Lookup;
    void DefaultAction() override;

protected:
    QuitMenuItem() = default;
};

} // namespace fw
