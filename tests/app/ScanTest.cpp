// The folder scan as a person drives it: real trees on disk, real clicks on "Scan Folder...", the
// check box and the list, real typing in the filter field.
#include "ProgramHarness.h"
#include "TreeBuilder.h"
#include "app/Module1.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

using harness::RunProgram;
using tree_builder::ExpectedRow;
using tree_builder::ExpectTagsMatch;
using tree_builder::ListedNames;
using tree_builder::ListedRows;
using tree_builder::Row;
using tree_builder::Scan;
using tree_builder::Tree;

namespace {

using Names = std::vector<std::string>;

void TypeInHintField(Window1& w, const char* text)
{
    QTest::keyClicks(harness::WidgetOf(w.HintField()), text);
}

void ClearHintFieldByKeys(Window1& w)
{
    QWidget* field = harness::WidgetOf(w.HintField());
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
}

Names Sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Rows numbered from 1 for these files, in this order.
std::vector<Row> ExpectedRows(const Names& paths)
{
    std::vector<Row> rows;
    for (size_t i = 0; i < paths.size(); ++i)
        rows.push_back(ExpectedRow(int(i + 1), paths[i]));
    return rows;
}

} // namespace

TEST(Scan, FoldersAreWalkedDepthFirstInNaturalOrderWithNumbersRunningOn)
{
    Tree t;
    t.Make({"img10.jpg", "IMG9.jpg", "img100.jpg", "img50/in.png", "zz/deep/x.gif", "zz/a.bmp", "zz/notes.txt",
            "b/"});
    const Names paths = {t.Path("IMG9.jpg"), t.Path("img10.jpg"), t.Path("img50/in.png"),
                         t.Path("img100.jpg"), t.Path("zz/a.bmp"), t.Path("zz/deep/x.gif")};
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        EXPECT_EQ(ListedRows(w), ExpectedRows(paths));
        ExpectTagsMatch(w, paths);
        EXPECT_EQ(w.FolderName()->Text().str(), t.Name());
        EXPECT_EQ(Module1::gFileCount, 6);
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Scan, TheFoldersAboveEachFileFillColumnsTwoToFive)
{
    // One tree right below the root folder, for files with fewer than four folders above them,
    // and one five folders deep under /tmp.
    Tree shallow("/");
    Tree deep;
    shallow.Make({"top.jpg", "s/second.jpg"});
    deep.Make({"r.jpg", "a/1.jpg", "a/b/2.jpg", "a/b/c/3.jpg", "a/b/c/d/4.jpg", "a/b/c/d/e/5.jpg"});
    const Names shallowPaths = {shallow.Path("s/second.jpg"), shallow.Path("top.jpg")};
    const Names deepPaths = {deep.Path("a/1.jpg"),       deep.Path("a/b/2.jpg"),       deep.Path("a/b/c/3.jpg"),
                             deep.Path("a/b/c/d/4.jpg"), deep.Path("a/b/c/d/e/5.jpg"), deep.Path("r.jpg")};
    const Names innerPaths = {deep.Path("a/b/c/d/4.jpg"), deep.Path("a/b/c/d/e/5.jpg")};
    auto run = RunProgram([&](Window1& w) {
        Scan(w, shallow.Root());
        std::vector<Row> rows = ListedRows(w);
        EXPECT_EQ(rows, ExpectedRows(shallowPaths));
        // Spelled out once, so that the expectation does not rest on ExpectedRow alone.
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1], (Row{"2", "top.jpg", shallow.Name(), "/", "", ""}));
        EXPECT_EQ(rows[0], (Row{"1", "second.jpg", "s", shallow.Name(), "/", ""}));
        ExpectTagsMatch(w, shallowPaths);

        Scan(w, deep.Root());
        rows = ListedRows(w);
        EXPECT_EQ(rows, ExpectedRows(deepPaths));
        ASSERT_EQ(rows.size(), 6u);
        EXPECT_EQ(rows[0], (Row{"1", "1.jpg", "a", deep.Name(), "tmp", "/"}));
        EXPECT_EQ(rows[1], (Row{"2", "2.jpg", "b", "a", deep.Name(), "/tmp"}));
        EXPECT_EQ(rows[4], (Row{"5", "5.jpg", "e", "d", "c", deep.Path("a/b")}));
        ExpectTagsMatch(w, deepPaths);

        // The columns hold where a file is, not where the scan began.
        Scan(w, deep.Path("a/b/c/d"));
        EXPECT_EQ(ListedRows(w), ExpectedRows(innerPaths));
        EXPECT_EQ(w.FolderName()->Text().str(), "d");
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Scan, OnlyVisibleFilesWithAnImageExtensionAreListed)
{
    Tree t;
    t.Make({".hidden.jpg", ".shots/p.jpg", ".tif", " .tif", "tif", "JPEG", "image.", "scan.2008.TIFF",
            "photo.jpg.txt", "photo.jpg ", "photo.Jpg", "x.tiff", "x.jpeg", "x.GIF", "x.bMp", "x.png", "x.DCM",
            "x.PiCt", "x.jpe", "notes", "shots.jpg/in.png", "empty.jpg/"});
    const Names listed = {"p.jpg",  " .tif",  "tif",   "JPEG",  "scan.2008.TIFF", "photo.jpg ", "photo.Jpg",
                          "x.tiff", "x.jpeg", "x.GIF", "x.bMp", "x.png",          "x.DCM",      "x.PiCt",
                          "in.png"};
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        std::vector<Row> rows = ListedRows(w);
        Names names = ListedNames(w);
        EXPECT_EQ(Sorted(names), Sorted(listed));
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].number, std::to_string(i + 1));
        // A hidden folder is walked; the folder named like a picture is walked, never listed.
        for (const Row& row : rows) {
            if (row.name == "p.jpg") {
                EXPECT_EQ(row.parent, ".shots");
            }
            if (row.name == "in.png") {
                EXPECT_EQ(row.parent, "shots.jpg");
            }
            EXPECT_NE(row.name, "shots.jpg");
            EXPECT_NE(row.name, "empty.jpg");
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ScanFilter, TheFilterSetByTheCheckBoxAndTheFieldLimitsTheNextScan)
{
    Tree t;
    t.Make({"keep_1.jpg", "KEEP_2.png", "drop.jpg", "keep.txt", "sub/keeper.gif", "sub/other.bmp"});
    const Names all = {"KEEP_2.png", "drop.jpg", "keep_1.jpg", "keeper.gif", "other.bmp"};
    auto run = RunProgram([&](Window1& w) {
        TypeInHintField(w, "keep");
        EXPECT_EQ(Module1::gHintStrg.str(), "keep");
        Scan(w, t.Root()); // text but no check: the filter is off
        EXPECT_EQ(Sorted(ListedNames(w)), all);

        harness::Click(w.UseHintCheckBox());
        EXPECT_TRUE(Module1::gUseHint);
        EXPECT_TRUE(w.UseHintCheckBox()->Value());
        Scan(w, t.Root());
        EXPECT_EQ(ListedRows(w), ExpectedRows({t.Path("keep_1.jpg"), t.Path("KEEP_2.png"), t.Path("sub/keeper.gif")}));
        ExpectTagsMatch(w, {t.Path("keep_1.jpg"), t.Path("KEEP_2.png"), t.Path("sub/keeper.gif")});

        harness::Click(w.UseHintCheckBox());
        EXPECT_FALSE(Module1::gUseHint);
        Scan(w, t.Root());
        EXPECT_EQ(Sorted(ListedNames(w)), all);

        // Checked with an empty field: nothing to filter by.
        harness::Click(w.UseHintCheckBox());
        ClearHintFieldByKeys(w);
        EXPECT_TRUE(Module1::gUseHint);
        EXPECT_EQ(Module1::gHintStrg.str(), "");
        Scan(w, t.Root());
        EXPECT_EQ(Sorted(ListedNames(w)), all);
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ScanFilter, TheHintOfASelectedRowFiltersTheNextScan)
{
    Tree t;
    t.Make({"X-123456.tif", "123456_b.jpg", "other.jpg", "a654321.png"});
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        Names names = ListedNames(w);
        auto at = std::find(names.begin(), names.end(), "X-123456.tif");
        ASSERT_NE(at, names.end());
        harness::ClickListRow(w.FileList(), int(at - names.begin()));
        EXPECT_EQ(Module1::gHintStrg.str(), "123456");
        EXPECT_EQ(w.HintField()->Text().str(), "123456");

        harness::Click(w.UseHintCheckBox());
        Scan(w, t.Root());
        EXPECT_EQ(ListedRows(w), ExpectedRows({t.Path("123456_b.jpg"), t.Path("X-123456.tif")}));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ScanRepeated, EachScanStartsAFreshListNumberedFromOne)
{
    Tree first, second;
    first.Make({"a.jpg", "b.jpg", "c/d.jpg"});
    second.Make({"y.png", "z.gif"});
    auto run = RunProgram([&](Window1& w) {
        Scan(w, first.Root());
        EXPECT_EQ(ListedRows(w).size(), 3u);
        Scan(w, second.Root());
        EXPECT_EQ(ListedRows(w), ExpectedRows({second.Path("y.png"), second.Path("z.gif")}));
        ExpectTagsMatch(w, {second.Path("y.png"), second.Path("z.gif")});
        EXPECT_EQ(w.FolderName()->Text().str(), second.Name());
        EXPECT_EQ(Module1::gFileCount, 2);
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ScanRepeated, ACancelledOrUnusableChoiceEmptiesTheListAndKeepsTheFolderName)
{
    Tree t;
    t.Make({"a.jpg", "b.jpg"});
    auto run = RunProgram([&](Window1& w) {
        for (const std::string& answer : {std::string(), t.Path("missing"), t.Path("a.jpg")}) {
            Scan(w, t.Root());
            ASSERT_EQ(ListedRows(w).size(), 2u);
            Scan(w, answer);
            EXPECT_EQ(w.FileList()->ListCount(), 0) << answer;
            EXPECT_EQ(Module1::gFileCount, 0) << answer;
            EXPECT_EQ(w.FolderName()->Text().str(), t.Name()) << answer;
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ScanRepeated, AFolderWithoutPicturesGivesNoRowsButShowsItsName)
{
    Tree empty, noImages;
    noImages.Make({"read.me", "sub/data.csv", "sub/deeper/", "pictures.jpg/"});
    auto run = RunProgram([&](Window1& w) {
        Scan(w, empty.Root());
        EXPECT_EQ(w.FileList()->ListCount(), 0);
        EXPECT_EQ(w.FolderName()->Text().str(), empty.Name());
        Scan(w, noImages.Root());
        EXPECT_EQ(w.FileList()->ListCount(), 0);
        EXPECT_EQ(w.FolderName()->Text().str(), noImages.Name());
    });
    EXPECT_TRUE(run.messages.empty());
}

namespace {

// Twenty thousand pictures: four folders of "early_" files, then one of "late_" files that the
// natural order puts last.
class ScanWhileBusy : public ::testing::Test {
protected:
    static constexpr int kEarlyPerFolder = 4750;
    static constexpr int kEarly = 4 * kEarlyPerFolder;
    static constexpr int kLate = 1000;

    static void SetUpTestSuite()
    {
        tree_ = new Tree;
        for (int batch = 1; batch <= 4; ++batch)
            tree_->MakeNumbered("batch" + std::to_string(batch), "early_", kEarlyPerFolder, ".jpg");
        tree_->MakeNumbered("batch5", "late_", kLate, ".jpg");
    }
    static void TearDownTestSuite()
    {
        delete tree_;
        tree_ = nullptr;
    }

    // The name of the nth file of the walk, from 1.
    static std::string NameAt(int n)
    {
        char name[32];
        if (n > kEarly)
            std::snprintf(name, sizeof name, "late_%05d.jpg", n - kEarly);
        else
            std::snprintf(name, sizeof name, "early_%05d.jpg", (n - 1) % kEarlyPerFolder + 1);
        return name;
    }

    static Tree* tree_;
};

Tree* ScanWhileBusy::tree_ = nullptr;

// Starts a timer that fires at the walk's first yield to the event loop, then presses "Scan
// Folder...", whose dialog the caller answers.
void PressScanWithTimer(Window1& w, const std::function<void()>& onTimer)
{
    harness::TurnWhen turn(harness::AtTheNextYield());
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, onTimer);
    timer.start();
    harness::Click(w.ScanButton());
}

int gBuildRequests = 0;

class CountingWindow : public Window1 {
public:
    void BuildFileList() override
    {
        ++gBuildRequests;
        Window1::BuildFileList();
    }
};

QAction* FileQuitAction(Window1& w)
{
    auto* bar = static_cast<fw::WindowHost*>(w.Host())->Bar();
    for (QAction* top : bar->actions())
        if (top->menu() && top->menu()->objectName() == "FileMenu")
            for (QAction* a : top->menu()->actions())
                if (a->objectName() == "FileQuit")
                    return a;
    return nullptr;
}

void ExpectShutDown(const harness::RunResult& run)
{
    const auto& t = run.trace;
    for (const char* step : {"RuntimeRun returned", "finalize", "RuntimeExit"})
        EXPECT_NE(std::find(t.begin(), t.end(), step), t.end()) << step;
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(run.status, 0);
}

} // namespace

TEST_F(ScanWhileBusy, ACheckBoxClickedDuringTheWalkFiltersTheFilesAfterIt)
{
    int listedAtClick = -1;
    bool clicked = false;
    auto run = RunProgram([&](Window1& w) {
        QTest::keyClicks(harness::WidgetOf(w.HintField()), "LATE");
        harness::AnswerDialogs({tree_->Root()});
        PressScanWithTimer(w, [&] {
            listedAtClick = Module1::gFileCount;
            harness::Click(w.UseHintCheckBox());
            clicked = Module1::gUseHint;
        });
        ASSERT_TRUE(clicked);
        // The click came after the walk began and long before it reached the late files.
        ASSERT_GE(listedAtClick, 1);
        ASSERT_LT(listedAtClick, kEarly);
        std::vector<Row> rows = ListedRows(w);
        ASSERT_EQ(rows.size(), size_t(listedAtClick + kLate));
        for (int i = 0; i < int(rows.size()); ++i) {
            int file = i < listedAtClick ? i + 1 : kEarly + (i - listedAtClick) + 1;
            ASSERT_EQ(rows[size_t(i)].name, NameAt(file)) << "row " << i;
            ASSERT_EQ(rows[size_t(i)].number, std::to_string(i + 1));
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST_F(ScanWhileBusy, PressingScanAgainDuringTheWalkIsRefused)
{
    gBuildRequests = 0;
    harness::FactorySwap swap(Window1::Lookup(), [] { return static_cast<fw::Object*>(new CountingWindow); });
    int dialogs = 0;
    auto run = RunProgram([&](Window1& w) {
        fw::testing::SetDialogResponder([&](fw::testing::DialogKind, const std::string&) {
            ++dialogs;
            return tree_->Root();
        });
        PressScanWithTimer(w, [&] { harness::Click(w.ScanButton()); });
        EXPECT_EQ(gBuildRequests, 2);
        EXPECT_EQ(dialogs, 1);
        fw::Ref<fw::Listbox> list = w.FileList();
        ASSERT_EQ(list->ListCount(), kEarly + kLate);
        for (int32_t r = 0; r < list->ListCount(); ++r) {
            ASSERT_EQ(list->Cell(r, 0).str(), std::to_string(r + 1));
            ASSERT_EQ(list->CellTag(r, 0).ToInt32(), r + 1);
            ASSERT_EQ(list->Cell(r, 1).str(), NameAt(r + 1));
        }
        EXPECT_EQ(Module1::gFileCount, kEarly + kLate);
        EXPECT_EQ(w.FolderName()->Text().str(), tree_->Name());
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST_F(ScanWhileBusy, QuittingDuringTheWalkEndsTheRun)
{
    int listed = -1;
    auto run = RunProgram([&](Window1& w) {
        harness::AnswerDialogs({tree_->Root()});
        PressScanWithTimer(w, [] { fw::RuntimeQuit(); });
        EXPECT_TRUE(fw::RuntimeQuitting());
        listed = w.FileList()->ListCount();
    });
    EXPECT_GE(listed, 1);
    EXPECT_LT(listed, kEarly + kLate); // the walk stopped at a yield
    ExpectShutDown(run);
}

TEST_F(ScanWhileBusy, QuitFromTheFileMenuDuringTheWalkEndsTheRun)
{
    int listed = -1;
    auto run = RunProgram([&](Window1& w) {
        QAction* quit = FileQuitAction(w);
        ASSERT_NE(quit, nullptr);
        harness::AnswerDialogs({tree_->Root()});
        PressScanWithTimer(w, [&] { quit->trigger(); });
        EXPECT_TRUE(fw::RuntimeQuitting());
        listed = w.FileList()->ListCount();
    });
    EXPECT_GE(listed, 1);
    EXPECT_LT(listed, kEarly + kLate);
    ExpectShutDown(run);
}
