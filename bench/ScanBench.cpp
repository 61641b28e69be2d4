// The scan: the real program, headless, from the press of "Scan Folder..." to the last row in
// the list, over generated trees: wide photo archives of 200,000 and 1,000,000 entries and a deep,
// narrow laboratory archive of 10,000 folders of 20 files. Beside it, in the same run and with
// the same warm cache: a bare getdents walker, fd and GNU find listing the same files.
#include "BenchSupport.h"
#include "Sections.h"
#include "TreeMaker.h"

#include "framework/files/FolderItem.h"
#include "framework/ui/ControlPeer.h"
#include "window/Window1.h"

#include <QCoreApplication>
#include <QTest>

#include <cctype>
#include <cstdlib>
#include <fstream>

#include <sys/stat.h>

namespace bench {
namespace {

std::string Upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

enum class Shape { Archive, Lab };

struct TreePlan {
    const char* name;
    Shape shape;
    int64_t entries;      // Archive: folders and files in all; Lab: stain folders
    int64_t images;       // Archive: image files in all; Lab: per folder
    int32_t filesPerFolder;
    uint32_t seed;
    int walkerRuns, toolRuns, scanRuns;
    bool speedGoal;  // within fdShare of fd's time and walkerShare of the bare walker's
    bool memoryGoal; // at most 200 bytes per listed row
    double fdShare = 1.0, walkerShare = 2.0;
};

// Wide: photo archives of a thousand files per folder. Deep and narrow: a laboratory's cases,
// slides and stains of twenty files each.
const TreePlan kTreeA = {"A", Shape::Archive, 200'000, 150'000, 1000, 11, 5, kBaselineRuns, 5, true, false};
const TreePlan kTreeB = {"B", Shape::Archive, 1'000'000, 940'000, 1000, 12, 3, 5, 1, false, true};
const TreePlan kTreeLab = {"Lab", Shape::Lab, 10'000, 15, 20, 0, 5, kBaselineRuns, 5, true, false, 0.8, 1.6};

struct ScanResult {
    double ms = -1;
    int64_t rows = -1;
    int64_t baseline = 0, peak = 0;
    bool sampled = false;
    LoopGapProbe::Gap gap;
    size_t turns = 0;
    std::vector<std::string> messages;
};

const char* const kExtensions[] = {"tif", "tiff", "jpg", "jpeg", "gif", "bmp", "png", "dcm", "pict"};

std::vector<std::string> FindCommand(const std::string& root)
{
    std::vector<std::string> argv = {"find", root, "-type", "f", "("};
    for (const char* e : kExtensions)
        for (std::string ext : {std::string(e), Upper(e)}) {
            if (argv.back() != "(")
                argv.push_back("-o");
            argv.insert(argv.end(), {"-name", "*." + ext});
        }
    argv.insert(argv.end(), {")", "-printf", "%f\t%h\n"});
    return argv;
}

// fd's extensions match in any case, which lists mixed-case names the program passes over; the
// trees here hold none.
std::vector<std::string> FdCommand(const std::string& root)
{
    std::vector<std::string> argv = {"fdfind", "-u", "-t", "f"};
    for (const char* e : kExtensions)
        argv.insert(argv.end(), {"-e", e});
    argv.insert(argv.end(), {".", root});
    return argv;
}

int64_t CountLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    int64_t lines = 0;
    char buf[1 << 16];
    while (in.read(buf, sizeof(buf)) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i)
            lines += buf[i] == '\n';
        if (!in)
            break;
    }
    return lines;
}

// One scan in a run of its own, so that each starts from an empty program.
ScanResult ScanOnce(const std::string& root)
{
    ScanResult r;
    ProgramRun run = RunProgram([&](Window1& w) {
        AnswerDialogs({root});
        QWidget* button = fw::NativeInputWidget(*w.ScanButton());
        QCoreApplication::processEvents(); // the window's first paint is no part of the scan
        PeakMemory memory;
        LoopGapProbe probe;
        memory.Start();
        probe.Start();
        auto start = Clock::now();
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
        auto end = Clock::now();
        probe.Stop();
        memory.Stop();
        r.ms = MsBetween(start, end);
        r.rows = w.FileList()->ListCount();
        r.baseline = memory.Baseline();
        r.peak = memory.Peak();
        r.sampled = memory.Sampled();
        r.gap = probe.Longest();
        r.turns = probe.Turns();
    });
    r.messages = run.messages;
    Check(run.windowReached, "the program's window was shown");
    return r;
}

TreeCounts MakeShape(const TreePlan& plan, const std::string& root)
{
    if (plan.shape == Shape::Lab)
        return MakeLabTree(root, plan.entries, plan.filesPerFolder, int32_t(plan.images));
    return MakeTree(root, plan.entries, plan.images, plan.filesPerFolder, plan.seed);
}

struct Baselines {
    Stats walker, find, fd;
};

// A tool's baseline, after one run whose output is checked: each run as a user would make it,
// its output to a drained pipe, from a warm cache.
Stats CheckAndTimeTool(const std::vector<std::string>& argv, const TreePlan& plan, const TreeCounts& counts,
                       const std::string& scratch)
{
    std::string listed = scratch + "/tool-output.txt";
    Check(TimeChild(argv, listed) >= 0, argv[0] + " ran");
    Check(CountLines(listed) == counts.images, argv[0] + " lists every image file");
    ::unlink(listed.c_str());
    return TimeTool(argv, plan.toolRuns);
}

// Warm cache for everyone: one walk first, then each measurement.
Baselines MeasureBaselines(const TreePlan& plan, const std::string& root, const TreeCounts& counts,
                           const std::string& scratch)
{
    TreeCounts walked = WalkTree(root);
    Check(walked.files == counts.files && walked.folders == counts.folders, "the walker sees the tree as made");
    std::vector<double> walkerMs;
    for (int i = 0; i < plan.walkerRuns; ++i) {
        auto t0 = Clock::now();
        WalkTree(root);
        walkerMs.push_back(MsBetween(t0, Clock::now()));
    }
    return {Summarize(walkerMs), CheckAndTimeTool(FindCommand(root), plan, counts, scratch),
            CheckAndTimeTool(FdCommand(root), plan, counts, scratch)};
}

std::vector<ScanResult> MeasureScans(const TreePlan& plan, const std::string& root, const TreeCounts& counts)
{
    std::vector<ScanResult> scans;
    for (int i = 0; i < plan.scanRuns; ++i) {
        scans.push_back(ScanOnce(root));
        const ScanResult& s = scans.back();
        for (const std::string& m : s.messages)
            Note("the program said: " + m);
        Check(s.messages.empty(), "the scan ran without an error message");
        Check(s.rows == counts.images, Format("the list holds every image file (%s rows, %s expected)",
                                              Thousands(s.rows).c_str(), Thousands(counts.images).c_str()));
    }
    return scans;
}

void ReportScans(const TreePlan& plan, const Baselines& base, const TreeCounts& counts,
                 const std::vector<ScanResult>& scans)
{
    std::vector<double> scanMs;
    LoopGapProbe::Gap longestGap;
    size_t turns = 0;
    int64_t worstPeak = 0;
    const ScanResult* worst = &scans.front();
    for (const ScanResult& s : scans) {
        scanMs.push_back(s.ms);
        if (s.gap.ms >= longestGap.ms)
            longestGap = s.gap;
        turns = std::max(turns, s.turns);
        if (s.peak - s.baseline >= worstPeak) {
            worstPeak = s.peak - s.baseline;
            worst = &s;
        }
    }
    Stats scan = Summarize(scanMs);
    const Stats &walker = base.walker, &found = base.find, &fd = base.fd;
    double perRow = worst->rows > 0 ? double(worstPeak) / double(worst->rows) : 0;

    Figure("", Format("scan (%d run%s)", plan.scanRuns, plan.scanRuns > 1 ? "s" : ""), "baseline");
    Figure("button press to the last row, median", Format("%.0f ms", scan.median),
           Format("bare getdents walker %.1f ms (%.1f-%.1f, %d runs)  -> x%.2f", walker.median, walker.min,
                  walker.max, plan.walkerRuns, scan.median / walker.median));
    Figure("", "", Format("fdfind -u | pipe %.1f ms (%.1f-%.1f, %d runs)  -> x%.2f", fd.median, fd.min, fd.max,
                          plan.toolRuns, scan.median / fd.median));
    Figure("", "", Format("GNU find | pipe %.1f ms (%.1f-%.1f, %d runs)  -> x%.2f", found.median, found.min,
                          found.max, plan.toolRuns, scan.median / found.median));
    Figure("button press to the last row, min-max", Format("%.0f-%.0f ms", scan.min, scan.max), "");
    // The list keeps the room its rows took for the next list, so the runs after the first in
    // this process find it ready; the first run of the first tree takes all of it afresh.
    Figure("the first of the runs", Format("%.0f ms", scans.front().ms),
           Format("x%.2f the walker's median; later runs reuse the room earlier lists took", scans.front().ms / walker.median));
    Figure("rows listed", Thousands(worst->rows), Format("find listed %s", Thousands(counts.images).c_str()));
    Figure("rows per second", Format("%s", Thousands(int64_t(double(worst->rows) / (scan.median / 1000))).c_str()));
    Figure("resident before the press / peak during scan",
           Format("%.1f MB / %.1f MB", worst->baseline / 1048576.0, worst->peak / 1048576.0),
           worst->sampled ? "peak sampled every 2 ms" : "peak from VmHWM, reset before the press");
    Figure("peak memory per listed row", Format("%.0f bytes", perRow));
    // Each row holds its file's node: a node that grows makes every row grow by as much.
    Figure("of which the file's node", Format("%zu bytes", sizeof(fw::FolderItem)));
    Figure("longest event-loop gap", Format("%.1f ms", longestGap.ms),
           Format("from %.0f ms into a %.0f ms scan; %s turns of a 1 ms timer", longestGap.startMs,
                  longestGap.totalMs, Thousands(int64_t(turns)).c_str()));

    if (plan.speedGoal) {
        Goal(scan.median <= plan.fdShare * fd.median, Format("tree %s scan <= %.1fx fdfind -u", plan.name, plan.fdShare),
             Format("x%.2f (%.0f ms vs %.1f ms, fd %.1f-%.1f)", scan.median / fd.median, scan.median, fd.median,
                    fd.min, fd.max));
        Goal(scan.median <= plan.walkerShare * walker.median,
             Format("tree %s scan <= %.1fx the bare walker", plan.name, plan.walkerShare),
             Format("x%.2f (%.0f ms vs %.1f ms)", scan.median / walker.median, scan.median, walker.median));
    }
    if (plan.memoryGoal)
        Goal(perRow <= 200, Format("peak memory <= 200 bytes per listed row (tree %s, %s rows)", plan.name,
                                   Thousands(worst->rows).c_str()),
             Format("%.0f bytes/row (%.1f MB for %s rows; a file's node %zu bytes)", perRow, worstPeak / 1048576.0,
                    Thousands(worst->rows).c_str(), sizeof(fw::FolderItem)));
    Goal(longestGap.ms <= 50, Format("no event-loop gap > 50 ms during the scan of tree %s", plan.name),
         Format("longest %.1f ms", longestGap.ms));
}

void BenchTree(const TreePlan& plan, const std::string& scratch)
{
    std::string root = scratch + "/tree-" + plan.name;
    ::mkdir(root.c_str(), 0755);
    auto made = Clock::now();
    TreeCounts counts = MakeShape(plan, root);
    double makeMs = MsBetween(made, Clock::now());
    Heading(Format("Scan of tree %s: %s entries (%s folders, %s files, %s image files; made in %.1f s)", plan.name,
                   Thousands(counts.folders + counts.files).c_str(), Thousands(counts.folders).c_str(),
                   Thousands(counts.files).c_str(), Thousands(counts.images).c_str(), makeMs / 1000));
    Baselines base = MeasureBaselines(plan, root, counts, scratch);
    ReportScans(plan, base, counts, MeasureScans(plan, root, counts));
    auto removed = Clock::now();
    RemoveTree(root);
    Note(Format("(tree %s removed in %.1f s)", plan.name, MsBetween(removed, Clock::now()) / 1000));
}

} // namespace

void RunScanSection()
{
    EnsureApplication();
    ScratchDir scratch("scan");
    // ZORLIN_BENCH_TREES=A,Lab measures only those trees, for a quicker look.
    const char* only = std::getenv("ZORLIN_BENCH_TREES");
    for (const TreePlan* plan : {&kTreeA, &kTreeLab, &kTreeB})
        if (!only || std::string(",") .append(only).append(",").find(std::string(",") + plan->name + ",") != std::string::npos)
            BenchTree(*plan, scratch.Path());
}

} // namespace bench
