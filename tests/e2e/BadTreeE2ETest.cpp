// The real program, run as an unprivileged user, through a tree made to trip it (see
// BadFiles.h): scanned through the folder dialog, every row previewed one after the other,
// sorted by each column, exported through the save dialog, and quit. Nothing may crash, hang
// or leave a sanitizer's report, and the export must hold every row the tree has, as the test
// works them out itself.
#include "BadFiles.h"
#include "Desktop.h"
#include "Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

using namespace e2e;

namespace {

// The crowded folder's entries, one in a hundred named as a picture: the walk down the rows
// presses a key per row, some three milliseconds each (the same under the sanitizers).
constexpr int kCrowd = 100'000, kCrowdImageEvery = 100;

// Whether the export text holds a row for this path below the tree: its name and its parent
// folder's name, side by side in their fields.
bool HasRowOf(const std::string& exportText, const std::string& path)
{
    std::string name = path.substr(path.rfind('/') + 1);
    std::string folder = path.substr(0, path.rfind('/'));
    std::string parent = folder.substr(folder.rfind('/') + 1);
    return exportText.find("\t" + name + "\t" + parent + "\t") != std::string::npos;
}

// Exports the list through the save dialog to a new file of the folder; the file's text.
std::string Export(const Program& p, const std::string& target)
{
    p.StartExport(target);
    p.WaitForFile(target);
    return files::ReadText(target);
}

void ExpectSameExport(const std::string& written, const std::vector<std::string>& expected, const char* what)
{
    const std::string text = files::FileText(expected);
    EXPECT_EQ(files::Lines(written).size(), files::Lines(text).size()) << what;
    EXPECT_TRUE(written == text) << what << ": the export differs from the rows the tree should give"
                                 << (expected.size() < 10 ? ":\n" + written + "instead of\n" + text : "");
}

} // namespace

TEST(BadTreeEndToEnd, ScanPreviewEveryRowSortExportAndQuit)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may run the program as another user";
    XServer x;
    ASSERT_FALSE(x.Display().empty());
    files::TempFolder folder("zorlin-e2e-badtree");
    const std::string& work = folder.Path();
    const std::string tree = work + "/tree", out = work + "/out";
    Clock::time_point made = Clock::now();
    files::BadTreeNames names = files::MakeBadTree(tree, kCrowd, kCrowdImageEvery);
    ASSERT_EQ(::mkdir(out.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(out.c_str(), 01777), 0); // the program's user may write here
    std::vector<std::string> expected = files::ExpectedExport(tree, "", files::Reader::Other);
    // The test's own walk must see the tree as the program should.
    for (const std::string& path : names.listed)
        EXPECT_TRUE(HasRowOf(files::FileText(expected), path)) << "the test's walk misses " << path;
    for (const std::string& path : names.unlisted)
        EXPECT_FALSE(HasRowOf(files::FileText(expected), path)) << "the test's walk lists " << path;
    const int rows = int(expected.size()) - 1;
    std::printf("tree of %d rows made in %.1f s\n", rows, std::chrono::duration<double>(Clock::now() - made).count());

    Program p(x, kNobody);
    ASSERT_FALSE(p.MainWindow().empty());
    p.StartScan(tree);
    p.WaitIdle();

    // Every row's picture, from the first down to the last: damaged ones, bombs, a file the
    // user may not read, a link that leads nowhere.
    Clock::time_point walk = Clock::now();
    p.Click(kPreviewCheckBox);
    p.Click(ListRow(0));
    p.KeysOver("Down", rows - 1);
    p.WaitIdle(milliseconds(120000));
    // One step up and down again, each on its own, sets the hint of the row the walk ended on.
    p.Keys("Up");
    p.WaitIdle();
    p.Keys("Down");
    p.WaitIdle();
    ASSERT_TRUE(p.Answers()) << "the program no longer answers after the walk down the rows";
    std::printf("%d rows previewed in %.1f s\n", rows, std::chrono::duration<double>(Clock::now() - walk).count());

    // Each column in turn, the number last: that brings back the order of the scan.
    for (int column : {1, 2, 3, 4, 5, 0}) {
        p.Click(Heading(column));
        p.WaitIdle();
        if (column == 1)
            ExpectSameExport(Export(p, out + "/by name.txt"), files::SortedOn(expected, 1), "sorted by name");
    }
    ASSERT_TRUE(p.Answers()) << "the program no longer answers after the sorts";
    const std::string written = Export(p, out + "/list.txt");
    ExpectSameExport(written, expected, "in the order of the scan");
    for (const std::string& path : names.listed)
        EXPECT_TRUE(HasRowOf(written, path)) << "no row for " << path;

    // The walk reached the last row: its hint, put in the filter, lets that row through. (The
    // walk's own last hint may be any row's: a hint yields to the event loop while it is made,
    // and one made for an earlier row may end after those of the rows below it.)
    const std::string& last = expected.back();
    ASSERT_EQ(std::count(last.begin(), last.end(), '\t'), 5) << "the last row's name should hold no TAB";
    size_t name = last.find('\t') + 1;
    const std::string hint = files::HintOf(last.substr(name, last.find('\t', name) - name));
    p.Click(kFilterCheckBox);
    p.StartScan(tree);
    p.WaitIdle();
    ExpectSameExport(Export(p, out + "/last.txt"), files::ExpectedExport(tree, hint, files::Reader::Other),
                     ("filtered by the last row's hint \"" + hint + "\"").c_str());

    Clock::time_point asked = p.Keys("ctrl+q");
    ExpectCleanExit(p, asked);
}
