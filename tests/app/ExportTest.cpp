// The export of the list, driven as a user drives it: real trees scanned with "Scan Folder...",
// real clicks on "Export List...", and the file read back byte for byte. Also the failures a
// user meets (a read-only disk, a folder they may not write, a full disk) and the export that
// runs while a scan walks, while the list is emptied under it, or when the program quits.
#include "ExportSupport.h"
#include "ProgramHarness.h"
#include "framework/runtime/StringFunctions.h"
#include "framework/runtime/Variant.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

using namespace export_support;
using harness::Click;
using harness::RunProgram;
using DialogKind = fw::testing::DialogKind;

namespace {

void ScanThenExport(Window1& w)
{
    Click(w.ScanButton());
    Click(w.ExportButton());
}

bool MentionsAll(const harness::Message& m, std::initializer_list<const char*> parts)
{
    for (const char* p : parts)
        if (m.text.find(p) == std::string::npos)
            return false;
    return true;
}

const std::vector<std::string> kThreeImages = {"one.jpg", "sub/two.png", "sub/three.tif"};

} // namespace

TEST(Export, AnEmptyListGivesTheHeaderAloneUnderTheChosenName)
{
    TempDir out;
    auto dialogs = Answer({out / "list.txt"});
    auto run = RunProgram([&](Window1& w) { Click(w.ExportButton()); });
    EXPECT_EQ(ReadFile(out / "list.txt"), kHeader + "\n");
    EXPECT_EQ(ListFolder(out.Path()), std::set<std::string>{"list.txt"});
    ASSERT_EQ(dialogs->kinds.size(), 1u);
    EXPECT_EQ(dialogs->kinds[0], DialogKind::SaveFile);
    EXPECT_EQ(dialogs->proposals[0], "unknown.txt");
    EXPECT_TRUE(run.messages.empty());
}

TEST(Export, ACancelledDialogCreatesNothingAndSaysNothing)
{
    TempDir tree, out;
    MakeFiles(tree, kThreeImages);
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    auto cwdBefore = ListFolder(cwd);
    auto dialogs = Answer({tree.Path(), ""});
    auto run = RunProgram([&](Window1& w) {
        ScanThenExport(w);
        EXPECT_EQ(w.FileList()->ListCount(), 3);
    });
    EXPECT_EQ(dialogs->kinds, (std::vector<DialogKind>{DialogKind::SelectFolder, DialogKind::SaveFile}));
    EXPECT_TRUE(ListFolder(out.Path()).empty());
    EXPECT_EQ(ListFolder(cwd), cwdBefore);
    EXPECT_EQ(ListFolder(tree.Path()), (std::set<std::string>{"one.jpg", "sub"}));
    EXPECT_TRUE(run.messages.empty());
}

TEST(Export, ThreeImagesGiveAHeaderAndThreeLinesOfSixFields)
{
    TempDir tree, out;
    MakeFiles(tree, kThreeImages);
    MakeFiles(tree, {"notes.txt", ".hidden.jpg", "sub/readme"});
    Answer({tree.Path(), out / "list.txt"});
    auto run = RunProgram(ScanThenExport);
    std::vector<std::string> lines = Lines(ReadFile(out / "list.txt"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], kHeader);
    for (const std::string& line : lines)
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;
    EXPECT_TRUE(run.messages.empty());
}

// Near the root of the file system the ancestry runs out: the root folder is named "/", and
// the fields above it stay empty, so such lines end in TABs.
TEST(ExportFormat, EveryFieldComesFromTheFilesPlaceInTheTree)
{
    TempDir tree(::access("/", W_OK) == 0 ? "/" : "/tmp"), out;
    // Listed in this order: each folder's entries sort by name, and a folder's files come
    // where the folder does.
    const std::vector<std::string> listed = {
        "a_t\xc3\xb6p.jpg", "b/b_one.png", "b/c/c_two.gif", "b/c/d/d_three.tif", "b/c/d/e/e_four.BMP",
        "b/c/d/e/f/f_five.jpeg", "b/c/d/e/f/g/g_six.dcm", "m_last.PICT",
    };
    MakeFiles(tree, listed);
    MakeFiles(tree, {"b/c/d/skip.txt", "b/c/no_extension"});
    Answer({tree.Path(), out / "list.txt"});
    auto run = RunProgram(ScanThenExport);
    std::string written = ReadFile(out / "list.txt");
    EXPECT_EQ(written, ExpectedExport(tree, listed));

    std::vector<std::string> lines = Lines(written);
    ASSERT_EQ(lines.size(), listed.size() + 1);
    std::string top = tree.Path().substr(tree.Path().rfind('/') + 1);
    if (tree.Path() == "/" + top) {
        EXPECT_EQ(lines[1], "1\ta_t\xc3\xb6p.jpg\t" + top + "\t/\t\t");
        EXPECT_EQ(lines[2], "2\tb_one.png\tb\t" + top + "\t/\t");
        EXPECT_EQ(lines[3], "3\tc_two.gif\tc\tb\t" + top + "\t/");
    } else {
        EXPECT_EQ(lines[1], "1\ta_t\xc3\xb6p.jpg\t" + top + "\ttmp\t/\t");
        EXPECT_EQ(lines[2], "2\tb_one.png\tb\t" + top + "\ttmp\t/");
    }
    EXPECT_EQ(lines[6], "6\tf_five.jpeg\tf\te\td\t" + tree.Path() + "/b/c");
    EXPECT_EQ(lines[7], "7\tg_six.dcm\tg\tf\te\t" + tree.Path() + "/b/c/d");
    EXPECT_TRUE(run.messages.empty());
}

// The same files in folders whose order differs from the order of their names.
class ExportOrder : public ::testing::Test {
protected:
    void SetUp() override { MakeFiles(tree, listed); }

    // Exports after the clicks on headings and gives the numbers of the lines in file order.
    std::vector<int> ExportAfterClicking(std::vector<int> headings)
    {
        Answer({tree.Path(), out / "list.txt"});
        auto run = RunProgram([&](Window1& w) {
            Click(w.ScanButton());
            for (int column : headings)
                harness::ClickHeading(w.FileList(), column);
            Click(w.ExportButton());
        });
        EXPECT_TRUE(run.messages.empty());
        std::vector<std::string> lines = Lines(ReadFile(out / "list.txt"));
        std::vector<int> numbers;
        for (size_t i = 1; i < lines.size(); ++i) {
            int n = std::stoi(lines[i]);
            numbers.push_back(n);
            // Sorting moves whole rows: each line is still its own file's.
            EXPECT_EQ(lines[i], ExpectedLine(n, tree / listed.at(size_t(n) - 1)));
        }
        EXPECT_EQ(lines.at(0), kHeader);
        return numbers;
    }

    TempDir tree, out;
    const std::vector<std::string> listed = {"a/zeta.jpg", "b/alpha.jpg", "c/mid.jpg", "d/beta.png"};
};

TEST_F(ExportOrder, TheFileHeadingClickedTwiceExportsDescendingNumbers)
{
    EXPECT_EQ(ExportAfterClicking({0, 0}), (std::vector<int>{4, 3, 2, 1}));
}

TEST_F(ExportOrder, TheNameHeadingExportsInTheOrderOfTheNames)
{
    EXPECT_EQ(ExportAfterClicking({1}), (std::vector<int>{2, 4, 3, 1}));
}

TEST(ExportNames, ATabInAFileNameIsWrittenUnquoted)
{
    TempDir tree, out;
    MakeFiles(tree, {"tab\there.jpg", "quote\"d.jpg"});
    Answer({tree.Path(), out / "list.txt"});
    auto run = RunProgram(ScanThenExport);
    std::vector<std::string> lines = Lines(ReadFile(out / "list.txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], ExpectedLine(1, tree / "quote\"d.jpg"));
    EXPECT_EQ(lines[2], ExpectedLine(2, tree / "tab\there.jpg"));
    std::vector<std::string> fields = Fields(lines[2]);
    ASSERT_EQ(fields.size(), 7u);
    EXPECT_EQ(fields[1], "tab");
    EXPECT_EQ(fields[2], "here.jpg");
}

TEST(ExportNames, TheChosenNameIsUsedExactlyWithNoExtensionAdded)
{
    TempDir tree, out;
    MakeFiles(tree, kThreeImages);
    Answer({tree.Path(), out / "list", out / "weird name.tsv"});
    auto run = RunProgram([&](Window1& w) {
        ScanThenExport(w);
        Click(w.ExportButton());
    });
    EXPECT_EQ(ListFolder(out.Path()), (std::set<std::string>{"list", "weird name.tsv"}));
    std::string expected = ExpectedExport(tree, {"one.jpg", "sub/three.tif", "sub/two.png"});
    EXPECT_EQ(ReadFile(out / "list"), expected);
    EXPECT_EQ(ReadFile(out / "weird name.tsv"), expected);
    EXPECT_TRUE(run.messages.empty());
}

TEST(ExportFailure, AReadOnlyDiskGivesTheReasonAndLeavesTheEarlierFile)
{
    TempDir tree;
    MakeFiles(tree, kThreeImages);
    TmpfsMount disk("64k");
    ASSERT_TRUE(disk.Mounted());
    const std::string earlier = "an earlier list\n";
    MakeFile(disk / "list.txt", earlier);
    disk.MakeReadOnly();
    Answer({tree.Path(), disk / "list.txt", disk / "new.txt"});
    auto run = RunProgram([&](Window1& w) {
        ScanThenExport(w);
        Click(w.ExportButton());
    });
    ASSERT_EQ(run.messages.size(), 2u);
    EXPECT_TRUE(MentionsAll(run.messages[0], {"\"list.txt\"", "Read-only file system"})) << run.messages[0].text;
    EXPECT_TRUE(MentionsAll(run.messages[1], {"\"new.txt\"", "Read-only file system"})) << run.messages[1].text;
    EXPECT_EQ(ReadFile(disk / "list.txt"), earlier);
    EXPECT_EQ(ListFolder(disk.Path()), std::set<std::string>{"list.txt"});
}

TEST(ExportFailure, AFolderTheUserMayNotWriteGivesPermissionDenied)
{
    TempDir tree, out;
    MakeFiles(tree, kThreeImages);
    Answer({tree.Path(), out / "list.txt"});
    auto run = RunProgram([&](Window1& w) {
        Click(w.ScanButton());
        UnprivilegedFiles nobody;
        Click(w.ExportButton());
    });
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_TRUE(MentionsAll(run.messages[0], {"\"list.txt\"", "Permission denied"})) << run.messages[0].text;
    EXPECT_TRUE(ListFolder(out.Path()).empty());
}

// A list that fits the export's buffer fails when the file is completed; a long one fails
// while it is written. Neither may cost the user the list saved there before.
TEST(ExportFailure, AFullDiskKeepsTheEarlierFileForShortAndLongLists)
{
    TempDir small;
    MakeFiles(small, kThreeImages);
    // The long list's tree lies on a tmpfs of its own, where thousands of files are quick to make.
    TmpfsMount large("4m");
    ASSERT_TRUE(large.Mounted());
    for (int i = 0; i < 2000; ++i) {
        char name[96];
        std::snprintf(name, sizeof name, "batch-%d/scanned-photograph-of-the-archive-box-%05d.jpg", i / 500, i);
        MakeFile(large / name);
    }
    TmpfsMount disk("128k");
    ASSERT_TRUE(disk.Mounted());
    const std::string earlier = "#\tFile Name\n1\tkept.jpg\n";
    MakeFile(disk / "list.txt", earlier);
    disk.Fill("filler");
    const std::set<std::string> before = ListFolder(disk.Path());
    Answer({small.Path(), disk / "list.txt", large.Path(), disk / "list.txt"});
    auto run = RunProgram([&](Window1& w) {
        ScanThenExport(w);
        EXPECT_EQ(w.FileList()->ListCount(), 3);
        EXPECT_EQ(ReadFile(disk / "list.txt"), earlier);
        EXPECT_EQ(ListFolder(disk.Path()), before);
        ScanThenExport(w);
        EXPECT_EQ(w.FileList()->ListCount(), 2000);
    });
    ASSERT_EQ(run.messages.size(), 2u);
    for (const harness::Message& m : run.messages)
        EXPECT_TRUE(MentionsAll(m, {"\"list.txt\"", "No space left on device"})) << m.text;
    EXPECT_EQ(ReadFile(disk / "list.txt"), earlier);
    EXPECT_EQ(ListFolder(disk.Path()), before);
}

// The walk yields to the event loop, and a click on "Export List..." may come then. The export
// sees the rows listed so far, each one whole.
TEST(ExportDuringScan, AnExportFromTheWalksYieldsWritesTheRowsListedSoFar)
{
    TempDir tree, out;
    constexpr int kFolders = 3, kPerFolder = 200, kAtClick = 300; // the click comes mid-folder
    std::vector<std::string> listed;
    for (int f = 0; f < kFolders; ++f) {
        char folder[16];
        std::snprintf(folder, sizeof folder, "d%03d", f);
        ::mkdir((tree / folder).c_str(), 0755);
        for (int i = 0; i < kPerFolder; ++i) {
            char name[48];
            std::snprintf(name, sizeof name, "%s/%s_f%03d.jpg", folder, folder, i);
            listed.push_back(name);
            MakeFile(tree / name, "");
        }
    }
    Answer({tree.Path(), out / "list.txt"});
    int rowsAtExport = -1;
    auto run = RunProgram([&](Window1& w) {
        // The loop turns once, at the walk's first yield with kAtClick rows listed.
        harness::TurnWhen turn([&] { return rowsAtExport < 0 && w.FileList()->ListCount() >= kAtClick; });
        QTimer::singleShot(0, [&] {
            rowsAtExport = w.FileList()->ListCount();
            Click(w.ExportButton());
        });
        Click(w.ScanButton());
        EXPECT_EQ(w.FileList()->ListCount(), kFolders * kPerFolder);
    });
    EXPECT_TRUE(run.messages.empty());
    ASSERT_EQ(rowsAtExport, kAtClick);
    std::vector<std::string> lines = Lines(ReadFile(out / "list.txt"));
    ASSERT_EQ(lines.size(), size_t(rowsAtExport) + 1);
    EXPECT_EQ(lines[0], kHeader);
    for (int n = 1; n <= rowsAtExport; ++n) {
        std::vector<std::string> fields = Fields(lines[n]);
        ASSERT_EQ(fields.size(), 6u) << lines[n];
        EXPECT_EQ(fields[1].substr(0, 4), fields[2]) << "a file listed under another folder: " << lines[n];
        ASSERT_EQ(lines[n], ExpectedLine(n, tree / listed[size_t(n) - 1]));
    }
}

// A long list filled straight into the control, exported while a timer acts at the export's
// first yield to the event loop.
class ExportInterrupted : public ::testing::Test {
protected:
    static constexpr int kRows = 50000;

    static std::string Row(int n)
    {
        return std::to_string(n) + "\tphoto" + std::to_string(n) + ".jpg\tf1\tf2\tf3\t/above";
    }

    // Fills the list with kRows rows, numbered in order, as Row() gives them.
    static void Fill(const fw::Ref<fw::Listbox>& list)
    {
        for (int i = 1; i <= kRows; ++i) {
            list->AddRow(fw::Str(i));
            int32_t row = list->LastIndex();
            list->SetCellTag(row, 0, fw::Int32ToVariant(i));
            list->SetCell(row, 1, "photo" + std::to_string(i) + ".jpg");
            list->SetCell(row, 2, "f1");
            list->SetCell(row, 3, "f2");
            list->SetCell(row, 4, "f3");
            list->SetCell(row, 5, "/above");
        }
    }

    // Runs the program, fills the list, and clicks "Export List..." with `act` due at once.
    // Runs `act` from inside the export's first yield; `before` and `after` run around the export.
    harness::RunResult ExportWhile(const std::function<void(Window1&)>& act,
                                   const std::function<void(Window1&)>& before = {},
                                   const std::function<void(Window1&)>& after = {})
    {
        return RunProgram([&](Window1& w) {
            Fill(w.FileList());
            if (before)
                before(w);
            harness::TurnWhen turn(harness::AtTheNextYield());
            QTimer timer;
            timer.setSingleShot(true);
            timer.setInterval(0);
            QObject::connect(&timer, &QTimer::timeout, [&] {
                actedDuringExport = exporting;
                act(w);
            });
            timer.start();
            exporting = true;
            Click(w.ExportButton());
            exporting = false;
            if (after)
                after(w);
        });
    }

    TempDir out;
    bool exporting = false, actedDuringExport = false;
};

TEST_F(ExportInterrupted, EmptyingTheListMidExportStopsAtItsEnd)
{
    Answer({out / "list.txt"});
    std::set<std::string> midway;
    auto run = ExportWhile([&](Window1& w) {
        midway = ListFolder(out.Path());
        w.FileList()->DeleteAllRows();
    });
    EXPECT_TRUE(run.messages.empty());
    EXPECT_TRUE(actedDuringExport);
    // Half-way the list is written to a hidden file; the name chosen appears only when done.
    ASSERT_EQ(midway.size(), 1u);
    EXPECT_EQ(midway.begin()->rfind(".list.txt.", 0), 0u) << *midway.begin();
    std::string written = ReadFile(out / "list.txt");
    ASSERT_NE(written, "<missing>");
    std::vector<std::string> lines = Lines(written);
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_LT(lines.size(), size_t(kRows) + 1);
    for (size_t n = 1; n < lines.size(); ++n)
        ASSERT_EQ(lines[n], Row(int(n)));
    EXPECT_EQ(ListFolder(out.Path()), std::set<std::string>{"list.txt"});
}

// A heading click while the export yields waits for the export to end: sorting under it would
// write some rows twice and others not at all. The click is not lost.
TEST_F(ExportInterrupted, AHeadingClickMidExportSortsOnlyWhenTheExportIsDone)
{
    Answer({out / "list.txt"});
    int32_t firstAfterExport = -1;
    auto run = ExportWhile([](Window1& w) { harness::ClickHeading(w.FileList(), 0); }, // descending, once done
                           [](Window1& w) { harness::ClickHeading(w.FileList(), 0); }, // ascending: the order it has
                           [&](Window1& w) { firstAfterExport = w.FileList()->CellTag(0, 0).ToInt32(); });
    EXPECT_TRUE(run.messages.empty());
    EXPECT_TRUE(actedDuringExport);
    std::vector<std::string> lines = Lines(ReadFile(out / "list.txt"));
    ASSERT_EQ(lines.size(), size_t(kRows) + 1);
    for (int n = 1; n <= kRows; ++n)
        ASSERT_EQ(lines[size_t(n)], Row(n)); // every row once, in the order of the click
    EXPECT_EQ(firstAfterExport, kRows);      // then the list was sorted as clicked
}

// Quitting unwinds the export at its next yield: the list saved there before stays as it was.
TEST_F(ExportInterrupted, QuittingMidExportKeepsTheEarlierFileAndLeavesNoTrace)
{
    const std::string earlier = "#\tFile Name\n1\tkept.jpg\n";
    MakeFile(out / "list.txt", earlier);
    Answer({out / "list.txt"});
    auto run = ExportWhile([](Window1&) { fw::RuntimeQuit(); });
    EXPECT_TRUE(run.messages.empty());
    EXPECT_TRUE(actedDuringExport);
    EXPECT_EQ(ReadFile(out / "list.txt"), earlier);
    EXPECT_EQ(ListFolder(out.Path()), std::set<std::string>{"list.txt"});
}
