// For `make bench` only (disabled in the test runs): how long the real program takes to end
// after Ctrl+Q with a million rows listed, beside the same quit with an empty list, measured in
// the same run. Making and removing the tree takes some twenty seconds.
#include "Desktop.h"
#include "Files.h"
#include "TreeMaker.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/stat.h>

using namespace e2e;

namespace {

double QuitSeconds(const XServer& x, const std::string& tree)
{
    Program p(x);
    if (p.MainWindow().empty())
        return -1;
    if (!tree.empty()) {
        p.Click(kScanButton);
        p.AnswerDialog("Choose a folder to scan", tree);
        p.WaitIdle(milliseconds(300000));
    }
    Clock::time_point asked = p.Keys("ctrl+q");
    Exit end = p.WaitExit(asked);
    EXPECT_EQ(end.status, 0) << p.Output();
    EXPECT_EQ(CrashSigns(p.Output()), "");
    return end.ended ? end.seconds : -1;
}

} // namespace

TEST(QuitBench, DISABLED_QuitWithAMillionRows)
{
    XServer x;
    ASSERT_FALSE(x.Display().empty());
    files::TempFolder folder("zorlin-quit-bench");
    std::string tree = folder.Path() + "/tree";
    ::mkdir(tree.c_str(), 0755);
    bench::TreeCounts counts = bench::MakeTree(tree, 1'000'000, 940'000, 1000, 12);

    double empty = QuitSeconds(x, "");
    double full = QuitSeconds(x, tree);
    std::printf("\nQuit (Ctrl+Q to the end of the process)\n");
    std::printf("  with %lld rows listed:   %7.3f s\n", static_cast<long long>(counts.images), full);
    std::printf("  baseline, an empty list: %7.3f s\n", empty);
    std::printf("  goal: at most 0.5 s\n\n");
    EXPECT_LE(full, 0.5);
}
