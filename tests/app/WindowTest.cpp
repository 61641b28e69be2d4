// The main window as the real program opens it: its size, title and frame, its eight controls
// and where they stand before and after a real resize, and the clear state it opens in whichever
// of the two Open events comes first.
#include "ProgramHarness.h"
#include "app/App.h"
#include "app/MenuBar1.h"
#include "app/Module1.h"
#include "framework/ui/Framework.h"
#include "framework/ui/ListboxPrivate.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cmath>

using namespace fw;
using harness::RunProgram;
using harness::WidgetOf;

namespace {

struct Placement {
    const char* name;
    int left, top, width, height;
};

// Where each control stands in a 1000 by 400 content area.
const Placement kAtOpening[] = {
    {"HintField", 649, 360, 225, 22},      {"FileList", 20, 34, 684, 306},
    {"ScanButton", 20, 360, 150, 20},      {"FolderName", 20, 6, 172, 20},
    {"ExportButton", 190, 360, 150, 20},   {"PreviewCanvas", 724, 34, 256, 306},
    {"PreviewCheckBox", 724, 6, 151, 20},  {"UseHintCheckBox", 360, 360, 269, 20},
};

// The same at 1200 by 600: the band grows, the bottom row follows the bottom edge.
const Placement kAt1200By600[] = {
    {"HintField", 649, 560, 225, 22},      {"FileList", 20, 34, 884, 506},
    {"ScanButton", 20, 560, 150, 20},      {"FolderName", 20, 6, 172, 20},
    {"ExportButton", 190, 560, 150, 20},   {"PreviewCanvas", 924, 34, 256, 506},
    {"PreviewCheckBox", 924, 6, 151, 20},  {"UseHintCheckBox", 360, 560, 269, 20},
};

const char* const kHeadings[] = {"File", "Name", "Folder1", "Folder2", "Folder3", "Additional Path"};
const double kShares[] = {0.10, 0.24, 0.12, 0.12, 0.12, 0.30};

// A run of the test binary is one process: give each run the start values a fresh process has.
void FreshGlobals()
{
    Module1::InitGlobals();
}

void ExpectPlacement(Window1& w, const Placement& p)
{
    SCOPED_TRACE(p.name);
    Ref<RectControl> c = w.ControlByName(p.name);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Left(), p.left);
    EXPECT_EQ(c->Top(), p.top);
    EXPECT_EQ(c->Width(), p.width);
    EXPECT_EQ(c->Height(), p.height);
    EXPECT_EQ(WidgetOf(c)->geometry(), QRect(p.left, p.top, p.width, p.height));
}

// The six sections fill the list's visible width, each close to its share of it.
void ExpectColumnShares(const Ref<Listbox>& list)
{
    ListView* view = NativeListView(*list);
    QHeaderView* header = view->horizontalHeader();
    ASSERT_EQ(header->count(), 6);
    int total = view->viewport()->width();
    int sum = 0;
    for (int c = 0; c < 6; ++c) {
        sum += header->sectionSize(c);
        EXPECT_NEAR(header->sectionSize(c), kShares[c] * total, 2.0) << "column " << c;
    }
    EXPECT_EQ(sum, total);
}

// Everything the window shows and keeps right after it opened.
void ExpectOpeningState(Window1& w)
{
    Ref<CheckBox> preview = w.PreviewCheckBox();
    Ref<CheckBox> useHint = w.UseHintCheckBox();
    EXPECT_FALSE(preview->Value());
    EXPECT_FALSE(useHint->Value());
    EXPECT_FALSE(qobject_cast<QCheckBox*>(WidgetOf(preview))->isChecked());
    EXPECT_FALSE(qobject_cast<QCheckBox*>(WidgetOf(useHint))->isChecked());

    EXPECT_TRUE(w.HintField()->Text().empty());
    EXPECT_TRUE(qobject_cast<QLineEdit*>(WidgetOf(w.HintField()))->text().isEmpty());

    Ref<Listbox> list = w.FileList();
    EXPECT_EQ(list->ListCount(), 0);
    EXPECT_EQ(list->ListIndex(), -1);
    EXPECT_EQ(list->ColumnCount(), 6);
    EXPECT_EQ(NativeListView(*list)->model()->rowCount(), 0);
    EXPECT_EQ(NativeListView(*list)->model()->columnCount(), 6);

    EXPECT_FALSE(w.PreviewCanvas()->Visible());
    EXPECT_TRUE(WidgetOf(w.PreviewCanvas())->isHidden());

    EXPECT_FALSE(w.fileListDirty);
    EXPECT_FALSE(w.hintDirty);
    EXPECT_FALSE(w.useHintDirty);
    EXPECT_FALSE(w.previewDirty);
    EXPECT_FALSE(w.pic);
}

// A window that comes into being with everything its Open must clear already set.
class LeftoverWindow1 : public Window1 {
public:
    LeftoverWindow1()
    {
        fileListDirty = hintDirty = useHintDirty = previewDirty = true;
        pic = Picture::Create(8, 8, RGB(200, 0, 0));
    }
};

} // namespace

TEST(MainWindow, HasItsContentSizeTitleMinimumAndFrameButtons)
{
    FreshGlobals();
    bool ran = false;
    RunProgram([&](Window1& w) {
        ran = true;
        auto* host = static_cast<WindowHost*>(harness::HostOf(w));
        QWidget* content = host->Content();
        EXPECT_EQ(w.Width(), 1000);
        EXPECT_EQ(w.Height(), 400);
        EXPECT_EQ(content->size(), QSize(1000, 400));
        EXPECT_EQ(w.Title().str(), "Zorlin File Sorter");
        EXPECT_EQ(host->windowTitle(), "Zorlin File Sorter");

        Qt::WindowFlags flags = host->windowFlags();
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));

        // Asking the host for less than the minimum leaves the content at its minimum.
        EXPECT_EQ(w.MinWidth(), 1000);
        EXPECT_EQ(w.MinHeight(), 400);
        host->resize(600, 250);
        QTest::qWait(0);
        EXPECT_GE(content->width(), 1000);
        EXPECT_GE(content->height(), 400);
        EXPECT_GE(w.Width(), 1000);
        EXPECT_GE(w.Height(), 400);
    });
    EXPECT_TRUE(ran);
}

TEST(MainWindow, HasItsEightNamedControlsWithTheirCaptions)
{
    FreshGlobals();
    RunProgram([&](Window1& w) {
        Ref<Window> self(w);
        EXPECT_EQ(w.Controls().size(), 8u);
        const std::pair<const char*, ClassTable*> kinds[] = {
            {"HintField", EditField::Lookup()},      {"FileList", Listbox::Lookup()},
            {"ScanButton", PushButton::Lookup()},    {"FolderName", StaticText::Lookup()},
            {"ExportButton", PushButton::Lookup()},  {"PreviewCanvas", Canvas::Lookup()},
            {"PreviewCheckBox", CheckBox::Lookup()}, {"UseHintCheckBox", CheckBox::Lookup()},
        };
        for (const auto& [name, cls] : kinds) {
            Ref<RectControl> byRuntime = RuntimeWindowControlByName(self, name);
            ASSERT_TRUE(byRuntime) << name;
            EXPECT_EQ(byRuntime, w.ControlByName(name)) << name;
            EXPECT_EQ(byRuntime->Class(), cls) << name;
            EXPECT_EQ(byRuntime->Name().str(), name);
            EXPECT_EQ(byRuntime->GetWindow(), &w) << name;
            EXPECT_TRUE(WidgetOf(byRuntime)) << name;
        }
        EXPECT_FALSE(RuntimeWindowControlByName(self, "NoSuchControl"));

        EXPECT_EQ(w.ScanButton()->Caption().str(), "Scan Folder...");
        EXPECT_EQ(qobject_cast<QPushButton*>(WidgetOf(w.ScanButton()))->text(), "Scan Folder...");
        EXPECT_EQ(w.ExportButton()->Caption().str(), "Export List...");
        EXPECT_EQ(qobject_cast<QPushButton*>(WidgetOf(w.ExportButton()))->text(), "Export List...");
        EXPECT_EQ(w.PreviewCheckBox()->Caption().str(), "Show preview");
        EXPECT_EQ(qobject_cast<QCheckBox*>(WidgetOf(w.PreviewCheckBox()))->text(), "Show preview");
        EXPECT_EQ(w.UseHintCheckBox()->Caption().str(), "Only show files whose names include:");
        EXPECT_EQ(qobject_cast<QCheckBox*>(WidgetOf(w.UseHintCheckBox()))->text(),
                  "Only show files whose names include:");
        EXPECT_TRUE(w.FolderName()->Text().empty());
        auto* folder = qobject_cast<QLabel*>(WidgetOf(w.FolderName()));
        ASSERT_NE(folder, nullptr);
        EXPECT_TRUE(folder->text().isEmpty());
        EXPECT_NE(qobject_cast<QLineEdit*>(WidgetOf(w.HintField())), nullptr);
        EXPECT_NE(NativeListView(*w.FileList()), nullptr);
    });
}

TEST(MainWindow, TheListHasSixHeadedColumnsThatShareItsWidth)
{
    FreshGlobals();
    RunProgram([&](Window1& w) {
        Ref<Listbox> list = w.FileList();
        ListView* view = NativeListView(*list);
        QHeaderView* header = view->horizontalHeader();
        ASSERT_EQ(list->ColumnCount(), 6);
        EXPECT_TRUE(header->isVisible());
        for (int c = 0; c < 6; ++c) {
            EXPECT_EQ(list->Heading(c).str(), kHeadings[c]);
            EXPECT_EQ(header->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                      QString(kHeadings[c]));
        }
        EXPECT_EQ(list->ColumnWidths().str(), "10%,24%,12%,12%,12%,30%");
        ExpectColumnShares(list);
    });
}

TEST(MainWindow, StandsItsControlsWhereTheyBelongAndFollowsARealResize)
{
    FreshGlobals();
    RunProgram([&](Window1& w) {
        auto* host = static_cast<WindowHost*>(harness::HostOf(w));
        for (const Placement& p : kAtOpening)
            ExpectPlacement(w, p);

        int bar = host->height() - host->Content()->height();
        EXPECT_GT(bar, 0); // the menu bar sits above the content
        host->resize(1200, 600 + bar);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.Width() == 1200 && w.Height() == 600; }, 60000));
        QTest::qWait(0); // let the settled-size event through as well
        EXPECT_EQ(host->Content()->size(), QSize(1200, 600));
        for (const Placement& p : kAt1200By600)
            ExpectPlacement(w, p);
        // The pane is hidden, but it still took its place.
        EXPECT_FALSE(w.PreviewCanvas()->Visible());
        ExpectColumnShares(w.FileList());
    });
}

TEST(MainWindow, OpensClearInANormalRun)
{
    FreshGlobals();
    bool ran = false;
    RunProgram([&](Window1& w) {
        ran = true;
        ExpectOpeningState(w);
        EXPECT_FALSE(Module1::gUseHint);
        EXPECT_FALSE(Module1::gPreview);
        EXPECT_TRUE(Module1::gHintStrg.empty());
        EXPECT_EQ(Window1::ImplicitInstance().Get(), &w);
        EXPECT_EQ(WindowSupport::Windows().size(), 1u);
    });
    EXPECT_TRUE(ran);
}

TEST(MainWindow, OpenClearsWhatWasLeftSetBeforeIt)
{
    FreshGlobals();
    harness::FactorySwap swap(Window1::Lookup(), [] { return static_cast<Object*>(new LeftoverWindow1); });
    bool ran = false;
    RunProgram([&](Window1& w) {
        ran = true;
        ASSERT_NE(dynamic_cast<LeftoverWindow1*>(&w), nullptr);
        ExpectOpeningState(w);
    });
    EXPECT_TRUE(ran);
}

// A run put together step by step, for orders of events the entry routine does not take.
class MainWindowOutsideTheLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUnhandledExceptionReporter([this](const std::string& title, const std::string& text) {
            messages.push_back({title, text});
        });
        RuntimeInit();
        zorlin::initialize();
    }
    void TearDown() override
    {
        zorlin::finalize();
        RuntimeExit();
        SetUnhandledExceptionReporter(nullptr);
        EXPECT_TRUE(messages.empty()) << messages.front().text;
        EXPECT_FALSE(GetImplicitWindow("Window1.Window1"));
    }
    static Ref<App> MakeApp()
    {
        Ref<App> app = RuntimeCheckCast<App>(RuntimeNewObject(App::Lookup()));
        app->SetMenuBar(MenuBar1::ImplicitInstance());
        RuntimeRegisterAppObject(app);
        return app;
    }
    std::vector<harness::Message> messages;
};

// The application's Open before the window is made: it resets whatever the globals held, and the
// window then opens from the start values.
TEST_F(MainWindowOutsideTheLoop, TheWindowOpensClearWhenTheApplicationOpensFirst)
{
    {
        Ref<App> app = MakeApp();

        Module1::gUseHint = true;
        Module1::gPreview = true;
        Module1::gHintStrg = "123456";
        Module1::gFileCount = 41;
        EXPECT_TRUE(RaiseEvent(*app, "Open"));
        EXPECT_FALSE(Module1::gUseHint);
        EXPECT_FALSE(Module1::gPreview);
        EXPECT_TRUE(Module1::gHintStrg.empty());
        EXPECT_EQ(Module1::gFileCount, 0);

        Ref<Window1> w = Window1::ImplicitInstance();
        ASSERT_TRUE(w);
        EXPECT_TRUE(w->IsOpen());
        EXPECT_EQ(w->Width(), 1000);
        EXPECT_EQ(w->Height(), 400);
        ExpectOpeningState(*w);
        EXPECT_EQ(Window1::ImplicitInstance(), w);
        EXPECT_EQ(WindowSupport::Windows().size(), 1u);
        EXPECT_EQ(w->GetMenuBar(), Ref<MenuBar>(MenuBar1::ImplicitInstance()));
    }
}

// The program keeps its window until shut-down: closing it from its frame ends the run but must
// not free the window inside its own close.
TEST_F(MainWindowOutsideTheLoop, ClosingTheWindowEndsTheRunAndKeepsTheWindowUntilShutDown)
{
    Ref<App> app = MakeApp();
    QPointer<QWidget> host = Window1::ImplicitInstance()->Host();
    ASSERT_TRUE(host);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host, 60000));
    EXPECT_EQ(WindowSupport::Windows().size(), 1u);
    EXPECT_TRUE(host->close());
    EXPECT_TRUE(RuntimeQuitting());
    EXPECT_TRUE(host);
    Ref<Window> kept = GetImplicitWindow("Window1.Window1");
    ASSERT_TRUE(kept);
    EXPECT_FALSE(kept->IsOpen());
    EXPECT_EQ(WindowSupport::Windows().size(), 1u);
}
