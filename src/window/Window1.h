#pragma once
// The program's one window: the list of image files, the preview pane, and the controls that
// scan, filter and export. Its methods are spread by task over window/, scan/, preview/ and
// export/. Every call between its own operations is virtual, so a subclass decides what runs.
#include "framework/files/FolderItem.h"
#include "framework/ui/Controls.h"
#include "framework/ui/Listbox.h"
#include "framework/ui/Window.h"

class Window1 : public fw::Window {
    FW_DECLARE_CLASS()
public:
    using EditField = fw::EditField;
    using Listbox = fw::Listbox;
    using PushButton = fw::PushButton;
    using StaticText = fw::StaticText;
    using Canvas = fw::Canvas;
    using CheckBox = fw::CheckBox;
    using Graphics = fw::Graphics;
    using FolderItem = fw::FolderItem;
    using MenuItem = fw::MenuItem;
    using String = fw::String;
    template <typename T>
    using Ref = fw::Ref<T>;

    // The one window, made and built on the first call; later calls give the same window.
    static Ref<Window1> ImplicitInstance();
    // Exit hook: releases the preview picture.
    void Exit();
    ~Window1() override;

    // Construction hooks.
    virtual void Layout();
    virtual void CreateControls();
    virtual void CreateControls0();

    // The controls, looked up by name at each use.
    Ref<EditField> HintField(const String& = String()) const;
    Ref<Listbox> FileList(const String& = String()) const;
    Ref<PushButton> ScanButton(const String& = String()) const;
    Ref<StaticText> FolderName(const String& = String()) const;
    Ref<PushButton> ExportButton(const String& = String()) const;
    Ref<Canvas> PreviewCanvas(const String& = String()) const;
    Ref<CheckBox> PreviewCheckBox(const String& = String()) const;
    Ref<CheckBox> UseHintCheckBox(const String& = String()) const;

    // Control event handlers.
    virtual bool HintField_KeyDown(EditField& me, const String& key);
    virtual bool HintField_MouseDown(EditField& me, int32_t x, int32_t y);
    virtual void HintField_TextChange(EditField& me);
    virtual void FileList_Change(Listbox& me);
    virtual bool FileList_KeyDown(Listbox& me, const String& key);
    virtual bool FileList_CellBackgroundPaint(Listbox& me, Graphics& g, int32_t row, int32_t column);
    virtual bool FileList_MouseDown(Listbox& me, int32_t x, int32_t y);
    virtual bool FileList_CompareRows(Listbox& me, int32_t row1, int32_t row2, int32_t column, int32_t& result);
    virtual void ScanButton_Action(PushButton& me);
    virtual void ExportButton_Action(PushButton& me);
    virtual void PreviewCanvas_Paint(Canvas& me, Graphics& g);
    virtual void PreviewCheckBox_Action(CheckBox& me);
    virtual bool PreviewCheckBox_MouseDown(CheckBox& me, int32_t x, int32_t y);
    virtual void UseHintCheckBox_Action(CheckBox& me);
    virtual bool UseHintCheckBox_MouseDown(CheckBox& me, int32_t x, int32_t y);

    // Menu accessors.
    virtual Ref<MenuItem> EditMenu();
    virtual Ref<MenuItem> EditSelectAll();
    virtual Ref<MenuItem> UntitledMenu0();
    virtual Ref<MenuItem> EditClear();
    virtual Ref<MenuItem> EditPaste();
    virtual Ref<MenuItem> EditCopy();
    virtual Ref<MenuItem> EditCut();
    virtual Ref<MenuItem> UntitledMenu1();
    virtual Ref<MenuItem> EditUndo();
    virtual Ref<MenuItem> FileMenu();
    virtual Ref<fw::QuitMenuItem> FileQuit();
    virtual void AddMenuHandlers(fw::Window& window);

    // Window events.
    virtual void Event_Open();
    virtual void Event_Resized();
    virtual void Event_Resizing();

    // Methods.
    virtual void InitFileList();
    virtual void BuildFileList();
    virtual void ParseFolder(const Ref<FolderItem>& item, const Ref<fw::Window>& window, bool& flag);
    virtual void UpdateButtons();
    virtual void UpdateHint();
    virtual void AddFileToList(const Ref<FolderItem>& file);
    virtual void AppendFileToList(const Ref<FolderItem>& file);
    virtual void Init();
    virtual void MakeHint(const String& name);
    virtual void ExportFileList();
    virtual void HandleResize();
    virtual void UpdatePreview();

    // The window's own state.
    bool fileListDirty = false;
    bool hintDirty = false;
    bool useHintDirty = false;
    bool previewDirty = false;
    Ref<fw::Picture> pic;

protected:
    Window1() = default;
    Ref<Window1> Self() { return Ref<Window1>(*this); }

    // Marks a long task as running for as long as the guard lives, however the task ends.
    struct BusyGuard {
        bool& flag;
        explicit BusyGuard(bool& f) : flag(f) { flag = true; }
        ~BusyGuard() { flag = false; }
    };

private:
    template <typename T>
    Ref<T> Control(const char* name) const;
    bool scanning_ = false;  // a folder walk is running
    bool exporting_ = false; // an export is running
};
