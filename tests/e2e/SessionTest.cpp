// A whole session with the real program on a real X server, as a person has it: the window
// opens, a folder is scanned through the real folder dialog, the list is exported through the
// real save dialog, sorted by a heading click, a row is picked with the mouse and the keyboard,
// the filter limits a second scan, and File > Quit ends the run cleanly.
#include "Desktop.h"
#include "Files.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

// Each export goes to a new name, so that no dialog asks before replacing a file.
std::vector<std::string> Export(const Program& p, const std::string& path)
{
    p.StartExport(path);
    p.WaitForFile(path);
    return files::Lines(files::ReadText(path));
}

void Scan(const Program& p, const std::string& folder)
{
    p.StartScan(folder);
    p.WaitIdle();
}

} // namespace

TEST(Session, ScanExportSortSelectFilterAndQuit)
{
    XServer x;
    ASSERT_FALSE(x.Display().empty());
    files::TempFolder folder("zorlin-e2e-session");
    const std::string& work = folder.Path();
    std::string root = work + "/photos";
    files::Make(root, {"a.png", "b_654321_x.jpg", "img10.gif", "IMG9.bmp", "img100.jpg", "notes.txt", ".hidden.png",
                       "sub/654321.png", "sub/X-777777.tif", "sub/deep/er/est/zz.bmp",
                       "Zeta/X-0123456.TIF", "Zeta/old_777777.PNG", "empty/"});
    Program p(x);
    ASSERT_FALSE(p.MainWindow().empty());

    EXPECT_EQ(p.WindowTitle(), "Zorlin File Sorter");
    // The content is 1000 by 400 under a menu bar: the buttons clicked below sit 30 pixels
    // above the content's bottom edge.
    EXPECT_EQ(p.WindowSize().first, 1000);
    EXPECT_GT(p.MenuBarHeight(), 10);
    EXPECT_LT(p.MenuBarHeight(), 60);

    Scan(p, root);
    std::vector<std::string> walked = files::ExpectedExport(root);
    ASSERT_EQ(walked.size(), 11u) << "the tree is not as this test expects";
    EXPECT_EQ(Export(p, work + "/walk order.txt"), walked);

    p.Click(kNameHeading);
    p.WaitIdle();
    std::vector<std::string> byName = files::SortedOn(walked, 1);
    ASSERT_NE(byName, walked);
    EXPECT_EQ(Export(p, work + "/by name.txt"), byName);

    // The sixth row by name is img100.jpg, the seventh old_777777.PNG: a click on the sixth and
    // one step down gives the seventh's hint, which two files share.
    ASSERT_EQ(byName[6].substr(byName[6].find('\t') + 1, 10), "img100.jpg");
    ASSERT_EQ(files::HintOf("old_777777.PNG"), "777777");
    p.Click(ListRow(5));
    p.Keys("Down");
    p.Click(kFilterCheckBox);
    Scan(p, root);
    std::vector<std::string> filtered = files::ExpectedExport(root, "777777");
    ASSERT_EQ(filtered.size(), 3u);
    EXPECT_EQ(Export(p, work + "/filtered.txt"), filtered);

    Clock::time_point asked = p.QuitFromMenu();
    ExpectCleanExit(p, asked);
}
