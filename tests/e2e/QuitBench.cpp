// For `make bench` only (disabled in the test runs): how long the real program takes to end
// once asked, with a million rows: listed and idle (beside the same quit with an empty list,
// measured in the same run), and in the middle of the work a million rows make long: their
// scan, their sort, their export. Each of those is asked three ways: Ctrl+Q, File > Quit and
// the window system's close request. The lines printed here are read by bench/QuitSection.cpp.
// One tree serves every run, made once (in /dev/shm where there is one: some ten seconds).
#include "Desktop.h"
#include "Files.h"
#include "TreeMaker.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace e2e;

namespace {

enum class Way { CtrlQ, FileQuit, CloseRequest };
constexpr Way kWays[] = {Way::CtrlQ, Way::FileQuit, Way::CloseRequest};

const char* WayName(Way way)
{
    return way == Way::CtrlQ ? "Ctrl+Q" : way == Way::FileQuit ? "File > Quit" : "close request";
}

// Gives the order to end; the moment it was given. File > Quit goes by the mouse, or, when
// the program is held and cannot open the menu, by the menu's own keys (Alt+F, then Q).
Clock::time_point Ask(const XServer& x, Program& p, Way way, bool menuByKeys = false)
{
    if (way == Way::CtrlQ)
        return p.Keys("ctrl+q");
    if (way == Way::FileQuit)
        return menuByKeys ? p.Keys("alt+f q") : p.QuitFromMenu();
    Clock::time_point asked = Clock::now();
    x.RequestClose(p.MainWindow());
    return asked;
}

// A sort or an export of a million rows takes a tenth of a second or so, less than giving an
// order takes: so the program is held (SIGSTOP) while the order is given, and the time counts
// from the moment it goes on (SIGCONT) with the order waiting in its input, mid-work.
Clock::time_point AskWhileHeld(const XServer& x, Program& p, Way way)
{
    p.Proc().Signal(SIGSTOP);
    Ask(x, p, way, true);
    Clock::time_point resumed = Clock::now();
    p.Proc().Signal(SIGCONT);
    return resumed;
}

// The seconds from the order to the end of the process, or -1 when it did not end or ended
// badly (which also fails the test).
double EndTime(Program& p, Clock::time_point asked)
{
    Exit end = p.WaitExit(asked);
    EXPECT_TRUE(end.ended) << "still running; it said:\n" << p.Output();
    EXPECT_EQ(end.status, 0) << p.Output();
    EXPECT_EQ(CrashSigns(p.Output()), "");
    return end.ended && end.status == 0 ? end.seconds : -1;
}

double QuitIdle(const XServer& x, const std::string& tree)
{
    Program p(x);
    if (p.MainWindow().empty())
        return -1;
    if (!tree.empty()) {
        p.StartScan(tree);
        p.WaitIdle(milliseconds(300000));
    }
    return EndTime(p, Ask(x, p, Way::CtrlQ));
}

double QuitMidScan(const XServer& x, const std::string& tree, Way way)
{
    Program p(x);
    if (p.MainWindow().empty())
        return -1;
    long long before = p.Proc().CpuTicks();
    p.StartScan(tree);
    p.WaitBusy(before);
    return EndTime(p, Ask(x, p, way));
}

double QuitMidSort(const XServer& x, const std::string& tree, Way way)
{
    Program p(x);
    if (p.MainWindow().empty())
        return -1;
    p.StartScan(tree);
    p.WaitIdle(milliseconds(300000));
    long long before = p.Proc().CpuTicks();
    p.Click(kNameHeading);
    p.WaitBusy(before);
    return EndTime(p, AskWhileHeld(x, p, way));
}

// An export over an earlier file of the same name, cut short once its temporary file is
// there: the earlier file stays as it was and the temporary one goes. Each way has a folder of
// its own, so that what one leaves behind cannot mislead the next.
double QuitMidExport(const XServer& x, const std::string& tree, const std::string& under, Way way)
{
    const std::string out = under + "/" + std::to_string(int(way));
    EXPECT_EQ(::mkdir(out.c_str(), 0755), 0) << out;
    const std::string target = out + "/list.txt";
    std::string earlier;
    for (int i = 0; i < 1000; ++i)
        earlier += "an earlier export, line " + std::to_string(i) + "\n";
    {
        FILE* f = std::fopen(target.c_str(), "wb");
        EXPECT_TRUE(f && std::fwrite(earlier.data(), 1, earlier.size(), f) == earlier.size());
        if (f)
            std::fclose(f);
    }
    Program p(x);
    if (p.MainWindow().empty())
        return -1;
    p.StartScan(tree);
    p.WaitIdle(milliseconds(300000));
    p.StartExport(target, Replace::Yes);
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    while (files::FolderNames(out).size() < 2 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    EXPECT_EQ(files::FolderNames(out).size(), 2u) << "no temporary file was seen";
    double seconds = EndTime(p, AskWhileHeld(x, p, way));
    EXPECT_EQ(files::FolderNames(out), std::vector<std::string>{"list.txt"}) << "after " << WayName(way);
    std::string now = files::ReadText(target);
    EXPECT_TRUE(now == earlier) << "the earlier export was changed, after " << WayName(way)
                                << (files::Lines(now).size() > 1000 ? ": the export ended before the order came" : "");
    return seconds;
}

void PrintCase(const char* during, Way way, double seconds)
{
    std::string label = std::string(during) + ", " + WayName(way) + ":";
    std::printf("  %-30s %7.3f s\n", label.c_str(), seconds);
    std::fflush(stdout);
    EXPECT_GE(seconds, 0) << label;
    EXPECT_LE(seconds, 1.0) << label;
}

} // namespace

TEST(QuitBench, DISABLED_QuitWithAMillionRows)
{
    XServer x;
    ASSERT_FALSE(x.Display().empty());
    files::TempFolder folder("zorlin-quit-bench", ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    std::string tree = folder.Path() + "/tree", out = folder.Path() + "/out";
    ::mkdir(tree.c_str(), 0755);
    ::mkdir(out.c_str(), 0755);
    bench::TreeCounts counts = bench::MakeTree(tree, 1'000'000, 940'000, 1000, 12);

    double empty = QuitIdle(x, "");
    double full = QuitIdle(x, tree);
    std::printf("\nQuit (Ctrl+Q to the end of the process)\n");
    std::printf("  with %lld rows listed:   %7.3f s\n", static_cast<long long>(counts.images), full);
    std::printf("  baseline, an empty list: %7.3f s\n", empty);
    std::printf("  goal: at most 0.5 s\n\n");
    EXPECT_LE(full, 0.5);

    std::printf("Quit in the middle of the work (the order to the end of the process), goal at most 1 s\n");
    for (Way way : kWays)
        PrintCase("mid-scan", way, QuitMidScan(x, tree, way));
    for (Way way : kWays)
        PrintCase("mid-sort", way, QuitMidSort(x, tree, way));
    for (Way way : kWays)
        PrintCase("mid-export", way, QuitMidExport(x, tree, out, way));
    std::printf("\n");
}
