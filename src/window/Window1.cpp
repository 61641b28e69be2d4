#include "Window1.h"

#include "app/Module1.h"

using namespace fw;

namespace {

const std::vector<Attribute> kPublic = {{"__Scope", "Public"}};

// The window's own members, in the order of its table of operations.
const std::vector<std::pair<const char*, const char*>> kMembers = {
    {"Layout", "%%"}, {"CreateControls", "%%"}, {"_CreateControls0", "%%"},
    {"HintField", "%o<EditField>%s"}, {"FileList", "%o<Listbox>%s"}, {"ScanButton", "%o<PushButton>%s"},
    {"FolderName", "%o<StaticText>%s"}, {"ExportButton", "%o<PushButton>%s"}, {"PreviewCanvas", "%o<Canvas>%s"},
    {"PreviewCheckBox", "%o<CheckBox>%s"}, {"UseHintCheckBox", "%o<CheckBox>%s"},
    {"HintField_KeyDown", "%b%s"}, {"HintField_MouseDown", "%b%i4i4"}, {"HintField_TextChange", "%%"},
    {"FileList_Change", "%%"}, {"FileList_KeyDown", "%b%s"}, {"FileList_CellBackgroundPaint", "%b%o<Graphics>i4i4"},
    {"FileList_MouseDown", "%b%i4i4"}, {"FileList_CompareRows", "%b%i4i4i4&i4"}, {"ScanButton_Action", "%%"},
    {"ExportButton_Action", "%%"}, {"PreviewCanvas_Paint", "%%o<Graphics>"}, {"PreviewCheckBox_Action", "%%"},
    {"PreviewCheckBox_MouseDown", "%b%i4i4"}, {"UseHintCheckBox_Action", "%%"},
    {"UseHintCheckBox_MouseDown", "%b%i4i4"},
    {"EditMenu", "%o<MenuItem>%"}, {"EditSelectAll", "%o<MenuItem>%"}, {"UntitledMenu0", "%o<MenuItem>%"},
    {"EditClear", "%o<MenuItem>%"}, {"EditPaste", "%o<MenuItem>%"}, {"EditCopy", "%o<MenuItem>%"},
    {"EditCut", "%o<MenuItem>%"}, {"UntitledMenu1", "%o<MenuItem>%"}, {"EditUndo", "%o<MenuItem>%"},
    {"FileMenu", "%o<MenuItem>%"}, {"FileQuit", "%o<QuitMenuItem>%"}, {"AddMenuHandlers", "%%o<Window>"},
    {"Event_Open", "%%"}, {"Event_Resized", "%%"}, {"Event_Resizing", "%%"},
    {"InitFileList", "%%"}, {"BuildFileList", "%%"}, {"ParseFolder", "%%o<FolderItem>o<Window>&b"},
    {"UpdateButtons", "%%"}, {"UpdateHint", "%%"}, {"AddFileToList", "%%o<FolderItem>"},
    {"AppendFileToList", "%%o<FolderItem>"}, {"Init", "%%"}, {"MakeHint", "%%s"}, {"ExportFileList", "%%"},
    {"HandleResize", "%%"}, {"UpdatePreview", "%%"},
};

PropertyInfo Flag(const char* name, bool Window1::*field)
{
    return {name, "b", 'B',
            [field](Object& o, const PropertyValue& v) { static_cast<Window1&>(o).*field = v.b; }, kPublic};
}

Window1& AsWindow1(Object& o) { return static_cast<Window1&>(o); }

} // namespace

FW_CLASS_TABLE(Window1, fw::Window, "Window1.Window1")
{
    t.factory = [] { return static_cast<Object*>(new Window1); };
    t.exitHook = [](Object& o) { AsWindow1(o).Exit(); };
    t.properties = {
        Flag("fileListDirty", &Window1::fileListDirty),
        Flag("hintDirty", &Window1::hintDirty),
        Flag("useHintDirty", &Window1::useHintDirty),
        Flag("previewDirty", &Window1::previewDirty),
        {"pic", "o<Picture>", 0, {}, kPublic},
    };
    for (const auto& [name, signature] : kMembers) {
        t.members.push_back({name, signature, kPublic});
        if (std::string_view(name) == "_CreateControls0")
            t.members.back().attributes.push_back({"Hidden", std::nullopt});
    }
    t.BindEvent("Layout", [](Object& o) { AsWindow1(o).Layout(); });
    t.BindEvent("CreateControls", [](Object& o) { AsWindow1(o).CreateControls(); });
    t.BindEvent("AddMenuHandlers", [](Object& o) { AsWindow1(o).AddMenuHandlers(AsWindow1(o)); });
    t.BindEvent("Open", [](Object& o) { AsWindow1(o).Event_Open(); });
    t.BindEvent("Resized", [](Object& o) { AsWindow1(o).Event_Resized(); });
    t.BindEvent("Resizing", [](Object& o) { AsWindow1(o).Event_Resizing(); });
    t.attributes = kPublic;
}

Ref<Window1> Window1::ImplicitInstance()
{
    Ref<fw::Window> w = GetImplicitWindow("Window1.Window1");
    if (!w) {
        w = RuntimeCheckCast<fw::Window>(RuntimeNewObject(Lookup()));
        w->Constructor();
    }
    return RuntimeCheckCast<Window1>(Ref<Object>(w));
}

Window1::~Window1()
{
    Exit();
}

void Window1::Exit()
{
    pic.Clear();
}

void Window1::Event_Open()
{
    Init();
    HandleResize();
    UpdateButtons();
    UpdateHint();
    InitFileList();
    UpdatePreview();
}

void Window1::Init()
{
    fileListDirty = false;
    hintDirty = false;
    useHintDirty = false;
    previewDirty = false;
    pic.Clear();
}

void Window1::UpdateButtons()
{
    Ref<CheckBox> useHint = UseHintCheckBox();
    useHint->SetValue(Module1::gUseHint);
    Ref<CheckBox> preview = PreviewCheckBox();
    preview->SetValue(Module1::gPreview);
}

template <typename T>
Ref<T> Window1::Control(const char* name) const
{
    return ControlAs<T>(Ref<fw::Window>(const_cast<Window1*>(this)), name);
}

Ref<EditField> Window1::HintField(const String&) const { return Control<EditField>("HintField"); }
Ref<Listbox> Window1::FileList(const String&) const { return Control<Listbox>("FileList"); }
Ref<PushButton> Window1::ScanButton(const String&) const { return Control<PushButton>("ScanButton"); }
Ref<StaticText> Window1::FolderName(const String&) const { return Control<StaticText>("FolderName"); }
Ref<PushButton> Window1::ExportButton(const String&) const { return Control<PushButton>("ExportButton"); }
Ref<Canvas> Window1::PreviewCanvas(const String&) const { return Control<Canvas>("PreviewCanvas"); }
Ref<CheckBox> Window1::PreviewCheckBox(const String&) const { return Control<CheckBox>("PreviewCheckBox"); }
Ref<CheckBox> Window1::UseHintCheckBox(const String&) const { return Control<CheckBox>("UseHintCheckBox"); }
