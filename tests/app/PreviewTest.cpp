// The preview as a person uses it: real picture files scanned into the list, real clicks on the
// list's rows and on "Show preview", and the pane's pixels as they would appear on the screen.
#include "PreviewSupport.h"
#include "TreeBuilder.h"
#include "app/Module1.h"
#include "framework/ui/ListboxPrivate.h"

#include <QApplication>
#include <QCheckBox>
#include <gtest/gtest.h>

#include <algorithm>

using namespace preview_support;
using fw::MouseCursor;
using harness::RunProgram;
using harness::WidgetOf;
using tree_builder::Scan;
using tree_builder::Tree;

namespace {

// Where the test's pictures land in the pane as it opens, 256 by 306.
const QRect kWideInPane(0, 89, 256, 128); // a picture twice as wide as high
const QRect kTallInPane(52, 0, 153, 306); // a picture twice as high as wide

int RowOf(Window1& w, const std::string& name)
{
    auto names = tree_builder::ListedNames(w);
    auto at = std::find(names.begin(), names.end(), name);
    EXPECT_NE(at, names.end()) << name << " is not listed";
    return int(at - names.begin());
}

void Select(Window1& w, const std::string& name)
{
    int row = RowOf(w, name);
    harness::ClickListRow(w.FileList(), row);
    EXPECT_EQ(w.FileList()->ListIndex(), row);
}

// A control-click on the selected row takes the selection away, as a person would.
void Deselect(Window1& w)
{
    fw::Ref<fw::Listbox> list = w.FileList();
    fw::ListView* view = fw::NativeListView(*list);
    QRect r = view->visualRect(view->model()->index(list->ListIndex(), 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    EXPECT_EQ(list->ListIndex(), -1);
}

void ClickShowPreview(Window1& w)
{
    harness::Click(w.PreviewCheckBox());
}

// The box, the global and the pane agree on whether the preview is on.
void ExpectPreviewOn(Window1& w, bool on)
{
    EXPECT_EQ(Module1::gPreview, on);
    EXPECT_EQ(w.PreviewCheckBox()->Value(), on);
    EXPECT_EQ(qobject_cast<QCheckBox*>(WidgetOf(w.PreviewCheckBox()))->isChecked(), on);
    EXPECT_EQ(w.PreviewCanvas()->Visible(), on);
    EXPECT_EQ(WidgetOf(w.PreviewCanvas())->isVisible(), on);
}

::testing::AssertionResult PaneShows(Window1& w, const QRect& where, const QColor& colour)
{
    return Covers(PaneShot(w), where, colour, PaneBackground(w));
}

::testing::AssertionResult PaneIsBlack(Window1& w)
{
    return AllOf(PaneShot(w), kBlack);
}

// The user is not left with the wait cursor.
void ExpectStandardPointer(Window1& w)
{
    EXPECT_EQ(w.GetMouseCursor(), MouseCursor::StandardPointer);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Scans the folder, turns the preview on and selects the file, which then shows.
void ScanAndShow(Window1& w, const std::string& folder, const std::string& name, const QRect& where,
                 const QColor& colour)
{
    Scan(w, folder);
    ClickShowPreview(w);
    Select(w, name);
    EXPECT_TRUE(PaneShows(w, where, colour));
}

// red.png is twice as wide as high, blue.bmp twice as high as wide, notes.jpg holds text.
void MakeMixedTree(const Tree& t)
{
    WritePicture(t.Path("red.png"), 40, 20, kRed, "png");
    WritePicture(t.Path("blue.bmp"), 20, 40, kBlue, "bmp");
    t.Make({"notes.jpg"});
}

} // namespace

TEST(Preview, TurnedOnBeforeAnyScanShowsABlackPane)
{
    auto run = RunProgram([&](Window1& w) {
        CursorLog cursors;
        ExpectPreviewOn(w, false);
        ClickShowPreview(w);
        ExpectPreviewOn(w, true);
        EXPECT_FALSE(w.pic);
        EXPECT_TRUE(PaneIsBlack(w));
        EXPECT_EQ(cursors.Waits(), 0);
        ClickShowPreview(w);
        ExpectPreviewOn(w, false);
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Preview, ShowsTheSelectedRowOnlyWhileOn)
{
    Tree t;
    MakeMixedTree(t);
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        CursorLog cursors;
        Select(w, "red.png"); // off: nothing is read, the pane stays hidden
        ExpectPreviewOn(w, false);
        EXPECT_FALSE(w.pic);
        EXPECT_EQ(cursors.Waits(), 0);

        ClickShowPreview(w); // on: the selected row is read
        ExpectPreviewOn(w, true);
        ASSERT_TRUE(w.pic);
        EXPECT_EQ(w.pic->Width(), 40);
        EXPECT_EQ(w.pic->Height(), 20);
        EXPECT_TRUE(PaneShows(w, kWideInPane, kRed));
        EXPECT_EQ(cursors.Waits(), 1);
        ExpectStandardPointer(w);

        PaintCounter painted(w);
        int before = painted.Settled();
        Select(w, "blue.bmp"); // another row while on: that one is read and painted
        EXPECT_TRUE(painted.PaintedSince(before));
        ASSERT_TRUE(w.pic);
        EXPECT_EQ(w.pic->Width(), 20);
        EXPECT_EQ(w.pic->Height(), 40);
        EXPECT_TRUE(PaneShows(w, kTallInPane, kBlue));
        EXPECT_EQ(cursors.Waits(), 2);
        ExpectStandardPointer(w);

        // Drawing the pane again never goes back to the file.
        PaneShot(w);
        QTest::qWait(0);
        EXPECT_EQ(cursors.Waits(), 2);

        ClickShowPreview(w); // off: hidden, the picture kept
        ExpectPreviewOn(w, false);
        fw::Ref<fw::Picture> kept = w.pic;
        Select(w, "red.png");
        ExpectPreviewOn(w, false);
        EXPECT_EQ(w.pic, kept);
        EXPECT_EQ(cursors.Waits(), 2);
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Preview, OffAndOnAgainReadsTheFileAgain)
{
    Tree t;
    WritePicture(t.Path("red.png"), 40, 20, kRed);
    auto run = RunProgram([&](Window1& w) {
        ScanAndShow(w, t.Root(), "red.png", kWideInPane, kRed);
        fw::Ref<fw::Picture> first = w.pic;

        ClickShowPreview(w);
        // The same name now holds a green picture of another shape.
        WritePicture(t.Path("red.png"), 20, 40, kGreen);
        ClickShowPreview(w);
        ExpectPreviewOn(w, true);
        ASSERT_TRUE(w.pic);
        EXPECT_NE(w.pic, first);
        EXPECT_TRUE(PaneShows(w, kTallInPane, kGreen));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Preview, AFileThatIsNoPictureTurnsThePaneBlackUntilAPictureIsRead)
{
    Tree t;
    MakeMixedTree(t);
    auto run = RunProgram([&](Window1& w) {
        ScanAndShow(w, t.Root(), "red.png", kWideInPane, kRed);

        CursorLog cursors;
        Select(w, "notes.jpg");
        EXPECT_FALSE(w.pic);
        EXPECT_TRUE(PaneIsBlack(w));
        EXPECT_EQ(cursors.Waits(), 1);
        ExpectStandardPointer(w);
        EXPECT_EQ(w.FileList()->ListCount(), 3); // the row stays listed

        Deselect(w);
        EXPECT_TRUE(PaneIsBlack(w));
        ClickShowPreview(w);
        ClickShowPreview(w);
        EXPECT_TRUE(PaneIsBlack(w));

        Select(w, "blue.bmp");
        EXPECT_TRUE(PaneShows(w, kTallInPane, kBlue));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Preview, ThePictureStaysWhenTheSelectionGoesOrTheListIsScannedAgain)
{
    Tree t, other;
    MakeMixedTree(t);
    WritePicture(other.Path("green.png"), 40, 20, kGreen);
    auto run = RunProgram([&](Window1& w) {
        ScanAndShow(w, t.Root(), "blue.bmp", kTallInPane, kBlue);
        fw::Ref<fw::Picture> shown = w.pic;
        ASSERT_TRUE(shown);

        CursorLog cursors;
        Deselect(w);
        ExpectPreviewOn(w, true);
        EXPECT_EQ(w.pic, shown);
        EXPECT_TRUE(PaneShows(w, kTallInPane, kBlue));

        Scan(w, other.Root());
        EXPECT_EQ(tree_builder::ListedNames(w), std::vector<std::string>{"green.png"});
        ExpectPreviewOn(w, true);
        EXPECT_EQ(w.pic, shown);
        EXPECT_TRUE(PaneShows(w, kTallInPane, kBlue));

        // Turning the preview on again with no row selected keeps it too.
        ClickShowPreview(w);
        ClickShowPreview(w);
        EXPECT_EQ(w.pic, shown);
        EXPECT_TRUE(PaneShows(w, kTallInPane, kBlue));
        EXPECT_EQ(cursors.Waits(), 0);

        // The file is gone; what was read stays on show.
        ASSERT_EQ(::unlink(t.Path("blue.bmp").c_str()), 0);
        EXPECT_TRUE(PaneShows(w, kTallInPane, kBlue));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Preview, TheOnlyRowAndTheLastRowAreShown)
{
    Tree one, many;
    WritePicture(one.Path("only.png"), 20, 40, kBlue);
    for (const char* name : {"a.png", "b.png", "c.png", "d.png"})
        WritePicture(many.Path(name), 20, 40, kBlue);
    WritePicture(many.Path("e.png"), 40, 20, kGreen);
    auto run = RunProgram([&](Window1& w) {
        ClickShowPreview(w);
        Scan(w, one.Root());
        Select(w, "only.png");
        EXPECT_TRUE(PaneShows(w, kTallInPane, kBlue));

        Scan(w, many.Root());
        ASSERT_EQ(w.FileList()->ListCount(), 5);
        Select(w, "e.png");
        EXPECT_EQ(w.FileList()->ListIndex(), 4);
        EXPECT_TRUE(PaneShows(w, kWideInPane, kGreen));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Preview, AResizedPaneFitsThePictureAgainWithoutReadingTheFile)
{
    Tree t;
    WritePicture(t.Path("tall.png"), 100, 200, kBlue);
    auto run = RunProgram([&](Window1& w) {
        ScanAndShow(w, t.Root(), "tall.png", kTallInPane, kBlue);

        CursorLog cursors;
        auto* host = static_cast<fw::WindowHost*>(harness::HostOf(w));
        int bar = host->height() - host->Content()->height();
        host->resize(1000, 506 + bar);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.PreviewCanvas()->Height() == 412; }, 60000));
        QTest::qWait(0);
        EXPECT_TRUE(PaneShows(w, QRect(25, 0, 206, 412), kBlue));
        EXPECT_EQ(cursors.Waits(), 0);
    });
    EXPECT_TRUE(run.messages.empty());
}

// Only a press in the box arms it: a value the program sets, or an action nobody armed,
// changes nothing.
TEST(Preview, TheBoxActsOnlyAfterAPressInIt)
{
    Tree t;
    WritePicture(t.Path("red.png"), 40, 20, kRed);
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        Select(w, "red.png");
        CursorLog cursors;
        fw::Ref<fw::CheckBox> box = w.PreviewCheckBox();

        box->SetValue(true);
        EXPECT_FALSE(Module1::gPreview);
        EXPECT_FALSE(w.PreviewCanvas()->Visible());
        w.PreviewCheckBox_Action(*box);
        EXPECT_FALSE(Module1::gPreview);
        EXPECT_FALSE(w.PreviewCanvas()->Visible());
        EXPECT_TRUE(box->Value()); // nobody set it back either
        EXPECT_FALSE(w.pic);
        EXPECT_EQ(cursors.Waits(), 0);

        // The press arms the box and lets the click go on to toggle it.
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(w.PreviewCheckBox_MouseDown(*box, 5, 5));
        EXPECT_TRUE(w.previewDirty);
        w.previewDirty = false;
        // The click unticks the box that the code left ticked, yet it turns the preview on, as
        // the global says, and the box is ticked again to match.
        ClickShowPreview(w);
        EXPECT_FALSE(w.previewDirty);
        ExpectPreviewOn(w, true);
        EXPECT_TRUE(PaneShows(w, kWideInPane, kRed));
        ClickShowPreview(w);
        EXPECT_FALSE(w.previewDirty);
        ExpectPreviewOn(w, false);
        EXPECT_EQ(cursors.Waits(), 1);
    });
    EXPECT_TRUE(run.messages.empty());
}
