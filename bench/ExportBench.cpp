// The export: a list of a million rows written by the real program, from the press of
// "Export List..." to the end of the export, beside cat writing the same bytes into the same
// folder.
#include "BenchSupport.h"
#include "Sections.h"

#include "framework/runtime/StringFunctions.h"
#include "framework/runtime/Variant.h"
#include "framework/ui/ControlPeer.h"
#include "window/Window1.h"

#include <QCoreApplication>
#include <QTest>

#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace bench {
namespace {

constexpr int32_t kRows = 1'000'000;
constexpr int32_t kRowsPerFolder = 1000;
constexpr int kExportRuns = 3;
constexpr int kCatRuns = 5;

// Rows as a scan of a large archive leaves them: names of a few kinds, and the three folder
// names and the path above them shared by every row of a folder.
void FillList(Window1& w)
{
    fw::Ref<fw::Listbox> list = w.FileList();
    list->DeleteAllRows();
    static const char* const kPatterns[] = {"IMG_%06d.jpg", "DSC%05d.JPG", "scan %06d.tif", "IM%06d.dcm",
                                            "photo %d.png"};
    const fw::String path("/srv/photo-archive/Imports 2023");
    char buf[64];
    for (int32_t n = 1; n <= kRows;) {
        int32_t folder = (n - 1) / kRowsPerFolder;
        std::snprintf(buf, sizeof(buf), "Roll %04d", folder + 1);
        fw::String roll(buf);
        std::snprintf(buf, sizeof(buf), "%d", 2011 + (folder % 40) / 8);
        fw::String year(buf);
        std::snprintf(buf, sizeof(buf), "Archive %02d", folder / 40 + 1);
        fw::String archive(buf);
        for (int32_t j = 0; j < kRowsPerFolder && n <= kRows; ++j, ++n) {
            std::snprintf(buf, sizeof(buf), kPatterns[folder % 5], (folder * 7919) % 800000 + j + 1);
            list->AddRow(fw::Str(n));
            int32_t row = list->LastIndex();
            list->SetCellTag(row, 0, fw::Int32ToVariant(n));
            list->SetCell(row, 1, fw::String(buf));
            list->SetCell(row, 2, roll);
            list->SetCell(row, 3, year);
            list->SetCell(row, 4, archive);
            list->SetCell(row, 5, path);
        }
    }
}

struct FileFacts {
    int64_t bytes = 0;
    int64_t lines = 0;
    std::string firstLine;
};

FileFacts Inspect(const std::string& path)
{
    FileFacts f;
    std::ifstream in(path, std::ios::binary);
    std::getline(in, f.firstLine);
    in.seekg(0);
    char buf[1 << 16];
    while (in.read(buf, sizeof(buf)) || in.gcount() > 0) {
        f.bytes += in.gcount();
        for (std::streamsize i = 0; i < in.gcount(); ++i)
            f.lines += buf[i] == '\n';
        if (!in)
            break;
    }
    return f;
}

} // namespace

void RunExportSection()
{
    EnsureApplication();
    Heading(Format("Export: %s rows, button press to the end of the export (%d runs) vs cat (%d runs)",
                   Thousands(kRows).c_str(), kExportRuns, kCatRuns));
    ScratchDir scratch("export");
    std::string target = scratch.Path() + "/exported list.txt";
    std::string copy = scratch.Path() + "/copy.txt";

    std::vector<double> exportMs;
    double fillMs = 0;
    LoopGapProbe::Gap longestGap;
    int32_t listed = 0;
    ProgramRun run = RunProgram([&](Window1& w) {
        auto filled = Clock::now();
        FillList(w);
        fillMs = MsBetween(filled, Clock::now());
        listed = w.FileList()->ListCount();
        w.FileList()->AnnouncePendingRows();
        QCoreApplication::processEvents(); // the view catches up, as it has after a scan
        QWidget* button = fw::NativeInputWidget(*w.ExportButton());
        for (int i = 0; i < kExportRuns; ++i) {
            ::unlink(target.c_str());
            AnswerDialogs({target});
            LoopGapProbe probe;
            probe.Start();
            auto start = Clock::now();
            QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
            exportMs.push_back(MsBetween(start, Clock::now()));
            probe.Stop();
            if (probe.Longest().ms >= longestGap.ms)
                longestGap = probe.Longest();
        }
    });
    for (const std::string& m : run.messages)
        Note("the program said: " + m);
    if (!Check(run.windowReached && run.messages.empty(), "the program exported without an error message") ||
        !Check(listed == kRows, Format("the list holds %s rows", Thousands(kRows).c_str())))
        return;

    FileFacts facts = Inspect(target);
    if (!Check(facts.lines == int64_t(kRows) + 1, Format("the export has %s lines (found %s)",
                                                          Thousands(int64_t(kRows) + 1).c_str(),
                                                          Thousands(facts.lines).c_str())) ||
        !Check(facts.firstLine == "#\tFile Name\tFolder1\tFolder2\tFolder3\tAdditional Path",
               "the export starts with its heading line"))
        return;

    std::vector<std::string> cat = {"cat", target};
    TimeChild(cat, copy); // warm-up
    std::vector<double> catMs, syncedMs;
    for (int i = 0; i < kCatRuns; ++i) {
        ::unlink(copy.c_str());
        catMs.push_back(TimeChild(cat, copy));
    }
    // The export syncs its file before it replaces the target; this is cat doing the same.
    std::vector<std::string> catSync = {"sh", "-c", "cat \"$1\" > \"$2\" && sync \"$2\"", "sh", target, copy};
    for (int i = 0; i < kCatRuns; ++i) {
        ::unlink(copy.c_str());
        syncedMs.push_back(TimeChild(catSync, "/dev/null"));
    }
    Check(Inspect(copy).bytes == facts.bytes, "cat copied every byte");

    Stats ex = Summarize(exportMs), c = Summarize(catMs), cs = Summarize(syncedMs);
    Note(Format("list filled with AddRow/SetCell/SetCellTag in %.0f ms; export file %.1f MB, %s lines", fillMs,
                facts.bytes / 1048576.0, Thousands(facts.lines).c_str()));
    Figure("", "export", "baseline");
    Figure("button press to the end of the export, median", Format("%.0f ms", ex.median),
           Format("cat > copy %.1f ms  -> x%.2f", c.median, ex.median / c.median));
    Figure("", "", Format("cat > copy && sync copy %.1f ms  -> x%.2f", cs.median, ex.median / cs.median));
    Figure("button press to the end of the export, min", Format("%.0f ms", ex.min),
           Format("cat min %.1f ms, with sync min %.1f ms", c.min, cs.min));
    Figure("throughput", Format("%.0f MB/s", facts.bytes / 1048576.0 / (ex.median / 1000)),
           Format("cat %.0f MB/s", facts.bytes / 1048576.0 / (c.median / 1000)));
    Figure("longest event-loop gap during the export", Format("%.1f ms", longestGap.ms),
           Format("from %.0f ms into a %.0f ms export", longestGap.startMs, longestGap.totalMs));
    // The export's file is on the disk when it ends, so the fair baseline is cat followed by sync.
    Goal(ex.median <= 1.5 * cs.median, "export of 1M rows <= 1.5x cat > copy && sync copy of the same bytes",
         Format("x%.2f (%.0f ms vs %.1f ms; plain cat %.1f ms)", ex.median / cs.median, ex.median, cs.median,
                c.median));
    Goal(longestGap.ms <= 50, "no event-loop gap > 50 ms during the export",
         Format("longest %.1f ms", longestGap.ms));
}

} // namespace bench
