// zorlin-bench [--markdown FILE] [section...]
// zorlin-bench [startup] [scan] [export] [preview]
// Runs the named sections (all of them without arguments) and prints each figure beside a
// baseline measured in the same run, and PASS or MISS for each goal; the closing table of goals
// also goes to FILE when one is given.
#include "BenchSupport.h"
#include "Sections.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

void Usage()
{
    std::fprintf(stderr, "usage: zorlin-bench [--markdown FILE] [section...]\n");
    std::fprintf(stderr, "usage: zorlin-bench [startup] [scan] [export] [preview]\n");
}

} // namespace

int main(int argc, char** argv)
{
    // Without a display, the toolkit's offscreen platform; the children inherit it.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc >= 2 && std::strcmp(argv[1], "startup-child") == 0)
        return bench::StartupChild(argc, argv);

    const std::vector<std::pair<std::string, void (*)()>> sections = {
        {"startup", &bench::RunStartupSection},
        {"scan", &bench::RunScanSection},
        {"export", &bench::RunExportSection},
        {"sort", &bench::RunSortSection},
        {"dicom", &bench::RunDicomSection},
        {"pict", &bench::RunPictSection},
        {"quit", &bench::RunQuitSection},
        {"preview", &bench::RunPreviewSection},
    };
    std::vector<std::string> chosen(argv + 1, argv + argc);
    std::string markdown;
    if (chosen.size() >= 2 && chosen[0] == "--markdown") {
        markdown = chosen[1];
        chosen.erase(chosen.begin(), chosen.begin() + 2);
    }
    for (const std::string& name : chosen) {
        bool known = false;
        for (const auto& s : sections)
            known = known || s.first == name;
        if (!known) {
            Usage();
            return 2;
        }
    }

    std::printf("Zorlin File Sorter benchmarks (%u cores, QT_QPA_PLATFORM=%s)\n",
                std::thread::hardware_concurrency(), std::getenv("QT_QPA_PLATFORM"));
    auto start = bench::Clock::now();
    for (const auto& [name, run] : sections) {
        bool wanted = chosen.empty();
        for (const std::string& c : chosen)
            wanted = wanted || c == name;
        if (wanted)
            run();
    }
    bench::ReleaseApplication();
    bench::PrintSummary();
    if (!markdown.empty())
        bench::WriteMarkdownReport(markdown);
    std::printf("  (total %.1f s)\n", bench::MsBetween(start, bench::Clock::now()) / 1000);
    return bench::AnyCheckFailed() ? 1 : 0;
}
