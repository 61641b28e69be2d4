// The window's construction hooks: its menu bar and design-time properties, and its eight
// controls with their properties and handlers.
#include "PropertyRecords.h"
#include "Window1.h"
#include "app/MenuBar1.h"
#include "framework/ui/PropertyRecord.h"

using namespace fw;

void Window1::Layout()
{
    {
        Ref<MenuBar1> bar = MenuBar1::ImplicitInstance();
        SetMenuBar(bar);
    }
    SetProperties(*this, PropertyRecords::Window1);
}

void Window1::CreateControls()
{
    CreateControls0();
}

namespace {

struct ControlPlan {
    const char* name;
    ClassTable* (*cls)();
    std::string_view record;
};

template <typename T>
ClassTable* TableOf() { return T::Lookup(); }

// Makes one control, registers it under its name and applies its record. Each step finds the
// control anew by its name, as all of the window's code does.
void MakeControl(Window1& w, const ControlPlan& plan)
{
    {
        Ref<RectControl> c = w.New(plan.cls());
        c->Constructor();
        w.AddControl(plan.name, c);
    }
    Ref<Object> found = RuntimeCheckCast(Ref<Object>(RuntimeWindowControlByName(Ref<fw::Window>(w), plan.name)),
                                         plan.cls());
    SetProperties(*found, plan.record);
}

template <typename C, typename Method>
void Wire(Window1& w, const char* control, const char* event, Method method, const char* signature)
{
    Ref<C> c = ControlAs<C>(Ref<fw::Window>(w), control);
    Ref<Delegate> d = RuntimeCreateDelegate(method, signature);
    InstallInstanceEventHandler(*c, event, d);
}

const char* kNone = "(  )";
const char* kKey = "( String ) as Boolean";
const char* kMouse = "( Int32, Int32 ) as Boolean";

} // namespace

void Window1::CreateControls0()
{
    MakeControl(*this, {"HintField", &TableOf<EditField>, PropertyRecords::HintField});
    Wire<EditField>(*this, "HintField", "KeyDown", &Window1::HintField_KeyDown, kKey);
    Wire<EditField>(*this, "HintField", "MouseDown", &Window1::HintField_MouseDown, kMouse);
    Wire<EditField>(*this, "HintField", "TextChange", &Window1::HintField_TextChange, kNone);

    MakeControl(*this, {"FileList", &TableOf<Listbox>, PropertyRecords::FileList});
    Wire<Listbox>(*this, "FileList", "Change", &Window1::FileList_Change, kNone);
    Wire<Listbox>(*this, "FileList", "KeyDown", &Window1::FileList_KeyDown, kKey);
    Wire<Listbox>(*this, "FileList", "CellBackgroundPaint", &Window1::FileList_CellBackgroundPaint,
                  "( Graphics, Int32, Int32 ) as Boolean");
    Wire<Listbox>(*this, "FileList", "MouseDown", &Window1::FileList_MouseDown, kMouse);
    Wire<Listbox>(*this, "FileList", "CompareRows", &Window1::FileList_CompareRows,
                  "( Int32, Int32, Int32, Int32 ) as Boolean");

    MakeControl(*this, {"ScanButton", &TableOf<PushButton>, PropertyRecords::ScanButton});
    Wire<PushButton>(*this, "ScanButton", "Action", &Window1::ScanButton_Action, kNone);

    MakeControl(*this, {"FolderName", &TableOf<StaticText>, PropertyRecords::FolderName});

    MakeControl(*this, {"ExportButton", &TableOf<PushButton>, PropertyRecords::ExportButton});
    Wire<PushButton>(*this, "ExportButton", "Action", &Window1::ExportButton_Action, kNone);

    MakeControl(*this, {"PreviewCanvas", &TableOf<Canvas>, PropertyRecords::PreviewCanvas});
    Wire<Canvas>(*this, "PreviewCanvas", "Paint", &Window1::PreviewCanvas_Paint, "( Graphics )");

    MakeControl(*this, {"PreviewCheckBox", &TableOf<CheckBox>, PropertyRecords::PreviewCheckBox});
    Wire<CheckBox>(*this, "PreviewCheckBox", "Action", &Window1::PreviewCheckBox_Action, kNone);
    Wire<CheckBox>(*this, "PreviewCheckBox", "MouseDown", &Window1::PreviewCheckBox_MouseDown, kMouse);

    MakeControl(*this, {"UseHintCheckBox", &TableOf<CheckBox>, PropertyRecords::UseHintCheckBox});
    Wire<CheckBox>(*this, "UseHintCheckBox", "Action", &Window1::UseHintCheckBox_Action, kNone);
    Wire<CheckBox>(*this, "UseHintCheckBox", "MouseDown", &Window1::UseHintCheckBox_MouseDown, kMouse);
}
