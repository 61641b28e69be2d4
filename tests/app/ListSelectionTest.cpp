// A selection the user makes in the list, by a click or a key, becomes the hint and the
// preview of the row it reaches; what the program does to the list (emptying it for a scan)
// is never taken for the user's choice, so a filtered scan stays filtered.
#include "ListSupport.h"
#include "TreeBuilder.h"

#include "app/Module1.h"

#include <QCoreApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using list_support::CountingWindow1;
using list_support::RunCounting;
using tree_builder::ListedNames;
using tree_builder::Scan;
using tree_builder::Tree;

namespace {

constexpr int kFiles = 60;

std::string NameOf(int i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "X-1000%02d.png", i);
    return buf;
}

// Each file a small picture of a colour of its own.
QRgb ColourOf(int i) { return qRgb(40 + i * 3, 200 - i * 2, (i * 37) % 256); }

void MakePictures(const Tree& t)
{
    for (int i = 0; i < kFiles; ++i) {
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(ColourOf(i));
        ASSERT_TRUE(image.save(QString::fromStdString(t.Path(NameOf(i))), "PNG"));
    }
}

QRgb PaneCentre(Window1& w)
{
    QImage pane = harness::WidgetOf(w.PreviewCanvas())->grab().toImage();
    return pane.pixel(pane.width() / 2, pane.height() / 2) & 0xFFFFFF;
}

// What the user sees for the selected row: its file's hint in the field and its picture.
void ExpectShowsRow(CountingWindow1& w, int32_t row, const std::string& how)
{
    ASSERT_GE(row, 0) << how;
    std::string name = w.FileList()->Cell(row, 1).str();
    int i = std::stoi(name.substr(6, 2));
    EXPECT_EQ(w.HintField()->Text().str(), name.substr(2, 6)) << how;
    EXPECT_EQ(Module1::gHintStrg.str(), name.substr(2, 6)) << how;
    EXPECT_EQ(PaneCentre(w), ColourOf(i) & 0xFFFFFF) << how;
}

struct KeyStep {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* what;
};

} // namespace

TEST(ListSelection, AClickOrASelectionKeyShowsTheHintAndPictureOfTheRowReached)
{
    Tree t;
    MakePictures(t);
    auto run = RunCounting([&](CountingWindow1& w) {
        harness::Click(w.PreviewCheckBox());
        ASSERT_TRUE(Module1::gPreview);
        Scan(w, t.Root());
        fw::Ref<fw::Listbox> list = w.FileList();
        ASSERT_EQ(list->ListCount(), kFiles);
        QCoreApplication::processEvents();

        int previews = w.previews;
        harness::ClickListRow(list, 5);
        EXPECT_EQ(list->ListIndex(), 5);
        EXPECT_EQ(w.changes, 1);
        EXPECT_EQ(w.previews, previews + 1);
        ExpectShowsRow(w, 5, "click");

        const KeyStep steps[] = {
            {Qt::Key_Down, Qt::NoModifier, "Down"},         {Qt::Key_Up, Qt::NoModifier, "Up"},
            {Qt::Key_PageDown, Qt::NoModifier, "PageDown"}, {Qt::Key_PageUp, Qt::NoModifier, "PageUp"},
            {Qt::Key_End, Qt::NoModifier, "End"},           {Qt::Key_Home, Qt::NoModifier, "Home"},
            {Qt::Key_End, Qt::ControlModifier, "Ctrl+End"}, {Qt::Key_Home, Qt::ControlModifier, "Ctrl+Home"},
            {Qt::Key_PageDown, Qt::NoModifier, "PageDown"}, {Qt::Key_End, Qt::ControlModifier, "Ctrl+End"},
        };
        fw::ListView* view = fw::NativeListView(*list);
        for (const KeyStep& s : steps) {
            int32_t before = list->ListIndex();
            int changes = w.changes, previews = w.previews, keys = w.keyDowns;
            QTest::keyClick(view, s.key, s.modifiers);
            int32_t now = list->ListIndex();
            switch (s.key) {
            case Qt::Key_Down: EXPECT_EQ(now, before + 1); break;
            case Qt::Key_Up: EXPECT_EQ(now, before - 1); break;
            case Qt::Key_PageDown: EXPECT_GT(now, before + 1) << s.what; break;
            case Qt::Key_PageUp: EXPECT_LT(now, before - 1) << s.what; break;
            case Qt::Key_Home: EXPECT_EQ(now, 0) << s.what; break;
            default: EXPECT_EQ(now, kFiles - 1) << s.what; break;
            }
            EXPECT_EQ(w.keyDowns, keys + 1) << s.what;
            EXPECT_EQ(w.changes, changes + 1) << s.what;
            EXPECT_EQ(w.previews, previews + 1) << s.what;
            EXPECT_FALSE(w.fileListDirty) << s.what;
            ExpectShowsRow(w, now, s.what);
        }

        // A key that reaches the row already selected changes nothing and leaves the flag armed.
        int changes = w.changes;
        for (const KeyStep& s : {KeyStep{Qt::Key_End, Qt::NoModifier, "End"},
                                 KeyStep{Qt::Key_End, Qt::ControlModifier, "Ctrl+End"}}) {
            w.fileListDirty = false;
            QTest::keyClick(view, s.key, s.modifiers);
            EXPECT_EQ(list->ListIndex(), kFiles - 1) << s.what;
            EXPECT_EQ(w.changes, changes) << s.what;
            EXPECT_TRUE(w.fileListDirty) << s.what;
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ListSelection, AClickOnTheSelectedRowChangesNothingAndLeavesTheFlagArmed)
{
    Tree t;
    t.Make({"X-111111.jpg", "X-222222.jpg", "X-333333.jpg"});
    auto run = RunCounting([&](CountingWindow1& w) {
        Scan(w, t.Root());
        harness::ClickListRow(w.FileList(), 1);
        ASSERT_EQ(w.changes, 1);
        EXPECT_EQ(w.HintField()->Text().str(), "222222");
        EXPECT_FALSE(w.fileListDirty);
        int previews = w.previews;

        harness::ClickListRow(w.FileList(), 1);
        EXPECT_EQ(w.FileList()->ListIndex(), 1);
        EXPECT_EQ(w.changes, 1);
        EXPECT_EQ(w.previews, previews);
        EXPECT_EQ(w.HintField()->Text().str(), "222222");
        EXPECT_TRUE(w.fileListDirty);

        // The next change is taken as the user's, even one the program makes.
        w.FileList()->SetListIndex(2);
        EXPECT_EQ(w.changes, 2);
        EXPECT_EQ(w.HintField()->Text().str(), "333333");
        EXPECT_FALSE(w.fileListDirty);
    });
    EXPECT_TRUE(run.messages.empty());
}

// Emptying the list for a scan is the program's doing: with the flag armed by a press that
// changed nothing, the hint stays and the scan is filtered by it.
TEST(ListSelection, AFilteredScanStaysFilteredWithTheFlagArmed)
{
    Tree t;
    t.Make({"X-123456_a.png", "X-123456_b.png", "other.png", "X-999999.png"});
    for (bool byKey : {false, true}) {
        auto run = RunCounting([&](CountingWindow1& w) {
            Scan(w, t.Root());
            std::vector<std::string> names = ListedNames(w);
            ASSERT_EQ(names.size(), 4u);
            int32_t row = int32_t(std::find(names.begin(), names.end(), "X-123456_a.png") - names.begin());
            harness::ClickListRow(w.FileList(), row);
            ASSERT_EQ(w.HintField()->Text().str(), "123456");
            if (byKey)
                QTest::keyClick(fw::NativeListView(*w.FileList()), Qt::Key_Escape);
            else
                harness::ClickListRow(w.FileList(), row);
            ASSERT_TRUE(w.fileListDirty);

            harness::Click(w.UseHintCheckBox());
            ASSERT_TRUE(Module1::gUseHint);
            Scan(w, t.Root());
            names = ListedNames(w);
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, (std::vector<std::string>{"X-123456_a.png", "X-123456_b.png"})) << "by key " << byKey;
            EXPECT_EQ(w.HintField()->Text().str(), "123456");
            EXPECT_EQ(Module1::gHintStrg.str(), "123456");
        });
        EXPECT_TRUE(run.messages.empty());
    }
}

// A click below the last row takes the selection away: the hint that follows is empty.
TEST(ListSelection, AClickBelowTheLastRowLeavesNoRowSelectedAndAnEmptyHint)
{
    Tree t;
    t.Make({"X-111111.jpg", "X-222222.jpg"});
    auto run = RunCounting([&](CountingWindow1& w) {
        Scan(w, t.Root());
        harness::ClickListRow(w.FileList(), 0);
        ASSERT_EQ(w.HintField()->Text().str(), "111111");
        fw::ListView* view = fw::NativeListView(*w.FileList());
        QRect last = view->visualRect(view->model()->index(1, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, last.center() + QPoint(0, 3 * last.height()));
        EXPECT_EQ(w.FileList()->ListIndex(), -1);
        EXPECT_EQ(w.changes, 2);
        EXPECT_EQ(w.HintField()->Text().str(), "");
        EXPECT_EQ(Module1::gHintStrg.str(), "");
    });
    EXPECT_TRUE(run.messages.empty());
}

// The hint rule lets the event loop turn between the windows it tries, so the user's next key
// may be handled while the hint of the row before is still being made. The last row reached must
// be the one whose hint stays in the field.
TEST(ListSelection, AKeyHandledWhileAHintIsMadeLeavesTheHintOfTheRowReached)
{
    Tree t;
    t.Make({"plate-aaaaaaaaaaaa-one.png", "plate-bbbbbbbbbbbb-two.png", "plate-cccccccccccc-three.png"});
    auto run = RunCounting([&](CountingWindow1& w) {
        Scan(w, t.Root());
        fw::Ref<fw::Listbox> list = w.FileList();
        ASSERT_EQ(list->ListCount(), 3);
        fw::ListView* view = fw::NativeListView(*list);
        // The Down key waits in the queue; the first turn of the loop inside the hint rule
        // delivers it, for no turn has come for longer than the loop's rhythm.
        QCoreApplication::postEvent(view, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
        QCoreApplication::postEvent(view, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier));
        QTest::qSleep(40);
        harness::ClickListRow(list, 0);
        QCoreApplication::processEvents();
        EXPECT_EQ(list->ListIndex(), 1);
        EXPECT_EQ(w.changes, 2);
        EXPECT_EQ(w.HintField()->Text().str(), "plate-bbbbbbbbbbbb-two.png");
        EXPECT_EQ(Module1::gHintStrg.str(), "plate-bbbbbbbbbbbb-two.png");
    });
    EXPECT_TRUE(run.messages.empty());
}
