// How the window's controls reach its handlers: every one of the fifteen is reached by real
// input on its own control, with the window as its object; a press handler's answer decides
// whether the control acts; and a handler that does not fit its event is refused.
#include "ProgramHarness.h"
#include "app/Module1.h"
#include "framework/ui/ListboxPrivate.h"

#include <QCheckBox>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace fw;
using harness::RunProgram;
using harness::WidgetOf;

namespace {

struct Call {
    std::string handler;
    RectControl* control;
    Window1* window;
};

// Notes each handler call and otherwise does nothing: no dialog, no scan, no toggling.
class RecordingWindow1 : public Window1 {
public:
    std::vector<Call> calls;

    bool HintField_KeyDown(EditField& me, const String&) override { return Note("HintField_KeyDown", me); }
    bool HintField_MouseDown(EditField& me, int32_t, int32_t) override { return Note("HintField_MouseDown", me); }
    void HintField_TextChange(EditField& me) override { Note("HintField_TextChange", me); }
    void FileList_Change(Listbox& me) override { Note("FileList_Change", me); }
    bool FileList_KeyDown(Listbox& me, const String&) override { return Note("FileList_KeyDown", me); }
    bool FileList_CellBackgroundPaint(Listbox& me, Graphics&, int32_t, int32_t) override
    {
        return Note("FileList_CellBackgroundPaint", me);
    }
    bool FileList_MouseDown(Listbox& me, int32_t, int32_t) override { return Note("FileList_MouseDown", me); }
    bool FileList_CompareRows(Listbox& me, int32_t, int32_t, int32_t, int32_t& result) override
    {
        result = 0;
        return Note("FileList_CompareRows", me);
    }
    void ScanButton_Action(PushButton& me) override { Note("ScanButton_Action", me); }
    void ExportButton_Action(PushButton& me) override { Note("ExportButton_Action", me); }
    void PreviewCanvas_Paint(Canvas& me, Graphics&) override { Note("PreviewCanvas_Paint", me); }
    void PreviewCheckBox_Action(CheckBox& me) override { Note("PreviewCheckBox_Action", me); }
    bool PreviewCheckBox_MouseDown(CheckBox& me, int32_t, int32_t) override
    {
        return Note("PreviewCheckBox_MouseDown", me);
    }
    void UseHintCheckBox_Action(CheckBox& me) override { Note("UseHintCheckBox_Action", me); }
    bool UseHintCheckBox_MouseDown(CheckBox& me, int32_t, int32_t) override
    {
        return Note("UseHintCheckBox_MouseDown", me);
    }

private:
    bool Note(const char* handler, RectControl& me)
    {
        calls.push_back({handler, &me, this});
        return false;
    }
};

// A window whose use-hint box keeps every press to itself.
class StubbornWindow1 : public Window1 {
public:
    int presses = 0;
    bool UseHintCheckBox_MouseDown(CheckBox&, int32_t, int32_t) override
    {
        ++presses;
        return true;
    }
};

// Each handler and the control it belongs to.
const std::map<std::string, std::string> kHandlerControls = {
    {"HintField_KeyDown", "HintField"},
    {"HintField_MouseDown", "HintField"},
    {"HintField_TextChange", "HintField"},
    {"FileList_Change", "FileList"},
    {"FileList_KeyDown", "FileList"},
    {"FileList_CellBackgroundPaint", "FileList"},
    {"FileList_MouseDown", "FileList"},
    {"FileList_CompareRows", "FileList"},
    {"ScanButton_Action", "ScanButton"},
    {"ExportButton_Action", "ExportButton"},
    {"PreviewCanvas_Paint", "PreviewCanvas"},
    {"PreviewCheckBox_Action", "PreviewCheckBox"},
    {"PreviewCheckBox_MouseDown", "PreviewCheckBox"},
    {"UseHintCheckBox_Action", "UseHintCheckBox"},
    {"UseHintCheckBox_MouseDown", "UseHintCheckBox"},
};

// Rows numbered out of order, so that a sort has something to do.
void AddRows(const Ref<Listbox>& list)
{
    const std::pair<int, const char*> rows[] = {{3, "c_300003.tif"}, {1, "a_654321_b.png"}, {2, "b_200002.jpg"}};
    for (const auto& [number, name] : rows) {
        list->AddRow(std::to_string(number));
        list->SetCellTag(list->LastIndex(), 0, Int32ToVariant(number));
        list->SetCell(list->LastIndex(), 1, name);
    }
    list->AnnouncePendingRows();
}

bool Checked(const Ref<CheckBox>& box)
{
    return qobject_cast<QCheckBox*>(WidgetOf(box))->isChecked();
}

} // namespace

TEST(Wiring, RealInputReachesEachOfTheFifteenHandlersWithItsControlAndTheWindow)
{
    Module1::InitGlobals();
    harness::FactorySwap swap(Window1::Lookup(), [] { return static_cast<Object*>(new RecordingWindow1); });
    bool ran = false;
    auto run = RunProgram([&](Window1& w) {
        auto* rec = dynamic_cast<RecordingWindow1*>(&w);
        ASSERT_NE(rec, nullptr);
        ran = true;
        rec->calls.clear();

        QWidget* hint = fw::NativeInputWidget(*w.HintField());
        QTest::mouseClick(hint, Qt::LeftButton, Qt::NoModifier, QPoint(8, hint->height() / 2));
        QTest::keyClicks(hint, "42");

        Ref<Listbox> list = w.FileList();
        AddRows(list);
        harness::ClickListRow(list, 1);
        QTest::keyClick(NativeListView(*list), Qt::Key_Down);
        harness::ClickHeading(list, 0);
        NativeListView(*list)->viewport()->repaint();

        harness::Click(w.ScanButton());
        harness::Click(w.ExportButton());

        w.PreviewCanvas()->SetVisible(true);
        WidgetOf(w.PreviewCanvas())->repaint();

        harness::Click(w.PreviewCheckBox());
        harness::Click(w.UseHintCheckBox());

        for (const auto& [handler, controlName] : kHandlerControls) {
            SCOPED_TRACE(handler);
            Ref<RectControl> control = w.ControlByName(controlName);
            int reached = 0;
            for (const Call& c : rec->calls) {
                if (c.handler != handler)
                    continue;
                ++reached;
                EXPECT_EQ(c.control, control.Get());
                EXPECT_EQ(c.window, &w);
            }
            EXPECT_GT(reached, 0) << handler << " was never reached";
        }
        // The text went in: the recorder's KeyDown let the field act.
        EXPECT_EQ(w.HintField()->Text().str(), "42");
        // Only the fifteen handlers, nothing else, was recorded.
        for (const Call& c : rec->calls)
            EXPECT_TRUE(kHandlerControls.count(c.handler)) << c.handler;
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(run.messages.empty());
}

TEST(Wiring, PressHandlersThatAnswerFalseLetTheControlsAct)
{
    Module1::InitGlobals();
    auto run = RunProgram([&](Window1& w) {
        Ref<CheckBox> useHint = w.UseHintCheckBox();
        harness::Click(useHint);
        EXPECT_TRUE(Checked(useHint));
        EXPECT_TRUE(useHint->Value());
        EXPECT_TRUE(Module1::gUseHint);
        harness::Click(useHint);
        EXPECT_FALSE(Checked(useHint));
        EXPECT_FALSE(useHint->Value());
        EXPECT_FALSE(Module1::gUseHint);

        Ref<CheckBox> preview = w.PreviewCheckBox();
        harness::Click(preview);
        EXPECT_TRUE(Checked(preview));
        EXPECT_TRUE(Module1::gPreview);
        EXPECT_TRUE(w.PreviewCanvas()->Visible());
        EXPECT_TRUE(WidgetOf(w.PreviewCanvas())->isVisible());
        harness::Click(preview);
        EXPECT_FALSE(Checked(preview));
        EXPECT_FALSE(w.PreviewCanvas()->Visible());

        QWidget* hint = fw::NativeInputWidget(*w.HintField());
        QTest::keyClicks(hint, "482913");
        EXPECT_EQ(qobject_cast<QLineEdit*>(hint)->text(), "482913");
        EXPECT_EQ(w.HintField()->Text().str(), "482913");
        EXPECT_EQ(Module1::gHintStrg.str(), "482913");
        EXPECT_FALSE(w.hintDirty);

        Ref<Listbox> list = w.FileList();
        AddRows(list);
        harness::ClickListRow(list, 1);
        EXPECT_EQ(list->ListIndex(), 1);
        QModelIndexList selected = NativeListView(*list)->selectionModel()->selectedRows();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.first().row(), 1);
        // The selection became the hint: the six digits of the row's file name.
        EXPECT_EQ(Module1::gHintStrg.str(), "654321");
        EXPECT_EQ(w.HintField()->Text().str(), "654321");
        EXPECT_FALSE(w.fileListDirty);
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Wiring, APressHandlerThatAnswersTrueSwallowsTheClick)
{
    Module1::InitGlobals();
    harness::FactorySwap swap(Window1::Lookup(), [] { return static_cast<Object*>(new StubbornWindow1); });
    bool ran = false;
    RunProgram([&](Window1& w) {
        auto* stubborn = dynamic_cast<StubbornWindow1*>(&w);
        ASSERT_NE(stubborn, nullptr);
        ran = true;
        Ref<CheckBox> useHint = w.UseHintCheckBox();
        harness::Click(useHint);
        harness::Click(useHint);
        harness::Click(useHint);
        EXPECT_EQ(stubborn->presses, 3);
        EXPECT_FALSE(Checked(useHint));
        EXPECT_FALSE(useHint->Value());
        EXPECT_FALSE(Module1::gUseHint);
        // The other box still answers false and still toggles.
        harness::Click(w.PreviewCheckBox());
        EXPECT_TRUE(Checked(w.PreviewCheckBox()));
    });
    EXPECT_TRUE(ran);
}

TEST(Wiring, AHandlerThatDoesNotFitItsEventIsRefusedAndTheOldOneStays)
{
    Module1::InitGlobals();
    auto run = RunProgram([&](Window1& w) {
        Ref<CheckBox> box = w.UseHintCheckBox();
        // A press handler offered for the box's Action.
        EXPECT_THROW(InstallInstanceEventHandler(*box, "Action",
                                                 RuntimeCreateDelegate(&Window1::UseHintCheckBox_MouseDown,
                                                                       "( Int32, Int32 ) as Boolean")),
                     TypeMismatchException);
        // The right method, announced with a signature the event does not pass.
        EXPECT_THROW(InstallInstanceEventHandler(
                         *box, "Action", RuntimeCreateDelegate(&Window1::UseHintCheckBox_Action, "( Int32 )")),
                     TypeMismatchException);
        EXPECT_THROW(InstallInstanceEventHandler(*box, "MouseDown",
                                                 RuntimeCreateDelegate(&Window1::UseHintCheckBox_MouseDown,
                                                                       "( Int32, Int32 )")),
                     TypeMismatchException);
        // An event a check box does not have.
        EXPECT_THROW(InstallInstanceEventHandler(
                         *box, "Paint", RuntimeCreateDelegate(&Window1::UseHintCheckBox_Action, "(  )")),
                     InvalidArgumentException);
        EXPECT_THROW(InstallInstanceEventHandler(*w.FileList(), "TextChange",
                                                 RuntimeCreateDelegate(&Window1::FileList_Change, "(  )")),
                     InvalidArgumentException);

        // The refusals left the box's own handlers in place: a click still toggles the filter.
        harness::Click(box);
        EXPECT_TRUE(box->Value());
        EXPECT_TRUE(Module1::gUseHint);
    });
    EXPECT_TRUE(run.messages.empty());
}
