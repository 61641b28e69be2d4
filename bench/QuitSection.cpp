// Quitting with a million rows listed, and in the middle of their scan, sort and export: the
// real program on a private X server, driven from outside by the end-to-end test binary,
// which prints the times this section reads.
#include "BenchSupport.h"
#include "Sections.h"

#include <fstream>
#include <string>

namespace bench {
namespace {

// The seconds after `label` on the line that holds it, or a negative number.
double SecondsAfter(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    if (at == std::string::npos)
        return -1;
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

} // namespace

void RunQuitSection()
{
    Heading("Quit: the order to the end of the process, with a million rows listed or at work");
    std::string self = SelfExe();
    std::string e2e = self.substr(0, self.rfind('/') + 1) + "zorlin-e2e-tests";
    ScratchDir scratch("quit");
    std::string outPath = scratch.Path() + "/out.txt";
    double ms = TimeChild({e2e, "--gtest_also_run_disabled_tests", "--gtest_filter=QuitBench.*", "--gtest_brief=1"},
                          outPath);
    std::ifstream in(outPath);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    double full = SecondsAfter(text, "rows listed:"), empty = SecondsAfter(text, "baseline, an empty list:");
    if (!Check(ms >= 0 && full >= 0 && empty >= 0, "the end-to-end quit benchmark ran and printed its times"))
        return;
    Figure("quit with a million rows listed", Format("%.3f s", full), Format("empty list %.3f s", empty));
    Goal(full <= 0.5, "quit with a million rows listed <= 0.5 s",
         Format("%.3f s beside %.3f s with an empty list", full, empty));
    // In the middle of the million rows' scan, sort and export, each asked three ways.
    for (const char* during : {"mid-scan", "mid-sort", "mid-export"})
        for (const char* way : {"Ctrl+Q", "File > Quit", "close request"}) {
            std::string label = std::string(during) + ", " + way;
            double seconds = SecondsAfter(text, label + ":");
            if (!Check(seconds >= 0, "the end-to-end quit benchmark printed its time " + label))
                continue;
            Figure("quit " + label, Format("%.3f s", seconds), Format("empty list %.3f s", empty));
            Goal(seconds <= 1.0, "quit " + label + " <= 1 s",
                 Format("%.3f s beside %.3f s with an empty list", seconds, empty));
        }
}

} // namespace bench
