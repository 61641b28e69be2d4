// Sorting: a list of a million rows from a real scan, sorted by heading clicks, each timed from
// the click to the repainted list, beside GNU sort ordering the same keys in the same run
// (`sort -n` for the number column, `sort -V` for the names). Also the longest pause of the
// event loop during each sort, and one screenful painted at the top, middle and end.
#include "BenchSupport.h"
#include "Sections.h"
#include "TreeMaker.h"

#include "framework/runtime/StringFunctions.h"
#include "framework/ui/ControlPeer.h"
#include "framework/ui/ListboxPrivate.h"
#include "window/Window1.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>

namespace bench {
namespace {

constexpr int64_t kImages = 1'000'000;
constexpr int kPaintRuns = 15;

struct Click {
    int column;
    const char* what;
};

// From the order the scan leaves, as a user would go: by name, by number (from name order, so
// the numbers come scrambled), reversed, by name again (from descending numbers), by folder.
const Click kClicks[] = {
    {1, "Name, from scan order"},
    {0, "File, from name order"},
    {0, "File again: reversed"},
    {1, "Name, from descending numbers"},
    {2, "Folder1, from name order"},
};

struct SortFigure {
    const Click* click = nullptr;
    double ms = 0, cpuMs = 0;
    Stats baseline; // GNU sort, its output to a drained pipe
    LoopGapProbe::Gap gap;
    bool ordered = false;
};

// The column's texts in the list's order, one a line, for GNU sort.
void WriteKeys(Window1& w, int column, const std::string& path)
{
    fw::Ref<fw::Listbox> list = w.FileList();
    std::ofstream out(path, std::ios::binary);
    for (int32_t r = 0; r < list->ListCount(); ++r)
        out << list->CellText(r, column) << '\n';
}

double ThreadCpuMs()
{
    rusage u{};
    ::getrusage(RUSAGE_THREAD, &u);
    return (double(u.ru_utime.tv_sec) + double(u.ru_stime.tv_sec)) * 1000 +
           (double(u.ru_utime.tv_usec) + double(u.ru_stime.tv_usec)) / 1000;
}

// The machine's load, for reading the figures: other work on it stretches every pause.
std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one.empty() ? "unknown" : one;
}

bool InOrder(Window1& w, int column)
{
    fw::Ref<fw::Listbox> list = w.FileList();
    int direction = fw::NativeListView(*list)->horizontalHeader()->sortIndicatorOrder() == Qt::AscendingOrder ? 1 : -1;
    for (int32_t r = 1; r < list->ListCount(); ++r) {
        int c = column == 0 ? (list->CellTag(r - 1, 0).ToInt32() < list->CellTag(r, 0).ToInt32() ? -1 : 1)
                            : fw::NaturalCompare(list->CellText(r - 1, column), list->CellText(r, column));
        if (c * direction > 0)
            return false;
    }
    return true;
}

SortFigure TimeClick(Window1& w, const Click& click, const std::string& scratch)
{
    SortFigure f;
    f.click = &click;
    std::string keys = scratch + "/keys.txt";
    WriteKeys(w, click.column, keys);
    f.baseline = TimeTool({"sort", click.column == 0 ? "-n" : "-V", keys});

    fw::ListView* view = fw::NativeListView(*w.FileList());
    QHeaderView* header = view->horizontalHeader();
    int x = header->sectionViewportPosition(click.column) + header->sectionSize(click.column) / 2;
    QCoreApplication::processEvents();
    LoopGapProbe probe;
    probe.Start();
    auto start = Clock::now();
    double cpu = ThreadCpuMs();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall); // the sort the click asked for
    view->viewport()->repaint();
    f.ms = MsBetween(start, Clock::now());
    f.cpuMs = ThreadCpuMs() - cpu;
    probe.Stop();
    f.gap = probe.Longest();
    f.ordered = InOrder(w, click.column);
    return f;
}

// One screenful painted with the first visible row at `top`.
Stats TimePaint(Window1& w, int32_t top)
{
    fw::ListView* view = fw::NativeListView(*w.FileList());
    view->verticalScrollBar()->setValue(top);
    QCoreApplication::processEvents();
    std::vector<double> ms;
    for (int i = 0; i < kPaintRuns; ++i) {
        auto start = Clock::now();
        view->viewport()->repaint();
        ms.push_back(MsBetween(start, Clock::now()));
    }
    return Summarize(ms);
}

} // namespace

void RunSortSection()
{
    EnsureApplication();
    ScratchDir scratch("sort");
    std::string root = scratch.Path() + "/tree";
    ::mkdir(root.c_str(), 0755);
    auto made = Clock::now();
    TreeCounts counts = MakeTree(root, kImages + kImages / 50, kImages, 1000, 21);
    Heading(Format("Sort: a scanned list of %s rows, heading click to repainted list vs GNU sort",
                   Thousands(counts.images).c_str()));
    Note(Format("tree of %s files made in %.1f s", Thousands(counts.files).c_str(), MsBetween(made, Clock::now()) / 1000));

    std::vector<SortFigure> figures;
    Stats paintTop, paintMiddle, paintEnd;
    int32_t rows = 0, visible = 0;
    ProgramRun run = RunProgram([&](Window1& w) {
        AnswerDialogs({root});
        QWidget* button = fw::NativeInputWidget(*w.ScanButton());
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
        w.FileList()->AnnouncePendingRows();
        QCoreApplication::processEvents();
        rows = w.FileList()->ListCount();
        for (const Click& c : kClicks)
            figures.push_back(TimeClick(w, c, scratch.Path()));
        fw::ListView* view = fw::NativeListView(*w.FileList());
        visible = view->viewport()->height() / view->verticalHeader()->defaultSectionSize();
        paintTop = TimePaint(w, 0);
        paintMiddle = TimePaint(w, rows / 2);
        paintEnd = TimePaint(w, view->verticalScrollBar()->maximum());
    });
    for (const std::string& m : run.messages)
        Note("the program said: " + m);
    if (!Check(run.windowReached && run.messages.empty(), "the program scanned and sorted without an error message") ||
        !Check(rows == counts.images, Format("the list holds %s rows", Thousands(counts.images).c_str())))
        return;

    Note("load average when the sorts ended: " + LoadAverage());
    Figure("", "click to repainted list", "baseline: the same keys through GNU sort");
    for (const SortFigure& f : figures) {
        Check(f.ordered, Format("the list is in order after \"%s\"", f.click->what));
        Figure(f.click->what, Format("%.0f ms (%.0f ms CPU)", f.ms, f.cpuMs),
               Format("sort %s %.0f ms (%.0f-%.0f, %d runs)  -> x%.2f", f.click->column == 0 ? "-n" : "-V",
                      f.baseline.median, f.baseline.min, f.baseline.max, kBaselineRuns, f.ms / f.baseline.median));
        Figure("  longest event-loop gap", Format("%.1f ms", f.gap.ms),
               Format("from %.0f ms into %.0f ms", f.gap.startMs, f.gap.totalMs));
    }
    for (const SortFigure& f : figures) {
        if (f.click->column < 2)
            Goal(f.ms <= f.baseline.median,
                 Format("\"%s\" <= 1.0x sort %s", f.click->what, f.click->column == 0 ? "-n" : "-V"),
                 Format("x%.2f (%.0f ms vs %.0f ms)", f.ms / f.baseline.median, f.ms, f.baseline.median));
        Goal(f.gap.ms <= 50, Format("no event-loop gap > 50 ms during \"%s\"", f.click->what),
             Format("longest %.1f ms", f.gap.ms));
    }
    Figure(Format("one screenful (%d rows) painted, median of %d", visible, kPaintRuns), "", "");
    const std::pair<const char*, Stats*> paints[] = {{"top", &paintTop}, {"middle", &paintMiddle}, {"end", &paintEnd}};
    for (const auto& [where, s] : paints) {
        Figure(Format("  at the %s", where), Format("%.2f ms", s->median), Format("max %.2f ms", s->max));
        Goal(s->median <= 16, Format("a screenful painted at the %s in <= 16 ms", where), Format("%.2f ms", s->median));
    }
}

} // namespace bench
