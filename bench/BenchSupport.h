#pragma once
// What the benchmark sections share: clocks and medians, the report's lines, a scratch folder
// that goes away at the end, child processes timed from the outside, the process's memory,
// the event loop's longest pause, and an in-process run of the real program whose dialogs the
// benchmark answers.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QTimer;
class Window1;

namespace bench {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point from, Clock::time_point to);

struct Stats {
    double median = 0;
    double min = 0;
    double max = 0;
};
Stats Summarize(std::vector<double> values);

// ---- The report ----

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Thousands(int64_t n); // 1,000,000
void Heading(const std::string& title);
void Note(const std::string& text);
// One figure and, where there is one, the baseline measured beside it.
void Figure(const std::string& label, const std::string& value, const std::string& baseline = std::string());
// A goal: PASS or MISS, remembered for the summary at the end.
void Goal(bool met, const std::string& what, const std::string& measured);
// A check of the benchmark's own premises (a row count, a line count); a failure makes the
// run's figures meaningless and the exit status non-zero.
bool Check(bool ok, const std::string& what);
void PrintSummary();
// The goals so far as a Markdown table, one row each, under the section that measured it.
std::string SummaryTable();
// Writes the table with a description of this machine (docs/benchmarks.md).
void WriteMarkdownReport(const std::string& path);
bool AnyCheckFailed();

// ---- Scratch space ----

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when this goes.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Removes a tree of folders and files, several folders at a time.
void RemoveTree(const std::string& root);

// ---- Child processes ----

// Runs a program with its output sent to `stdoutPath`; the milliseconds from start to exit,
// or a negative number when it could not start or failed.
double TimeChild(const std::vector<std::string>& argv, const std::string& stdoutPath);

// Runs a program as a user runs it in a shell pipeline: its output to a pipe that is read as
// fast as it comes. The milliseconds from start to exit, or a negative number on failure.
double TimeChildToPipe(const std::vector<std::string>& argv);
// A tool baseline: one warm-up run, then the median and spread of `runs` runs to a pipe.
constexpr int kBaselineRuns = 7;
Stats TimeTool(const std::vector<std::string>& argv, int runs = kBaselineRuns);

// Starts a program and waits for the first line it writes: the milliseconds from start to
// that line, or a negative number when it ended without one. Waits for its exit afterwards.
struct LineResult {
    double ms = -1;
    std::string line;
};
LineResult TimeToFirstLine(const std::vector<std::string>& argv, const std::string& stderrPath);

std::string SelfExe();

// ---- Memory ----

int64_t RssBytes();

// The highest resident size between Start and Stop, above what was resident at Start.
// Uses the kernel's own high-water mark when it can reset it, sampling otherwise.
class PeakMemory {
public:
    ~PeakMemory();
    void Start(); // returns freed memory to the system first, so the baseline is honest
    void Stop();
    int64_t Baseline() const { return baseline_; }
    int64_t Peak() const { return peak_; }
    bool Sampled() const { return sampled_; }

private:
    int64_t baseline_ = 0;
    std::atomic<int64_t> peak_{0};
    bool sampled_ = false;
    std::atomic<bool> stop_{false};
    std::thread sampler_;
};

// ---- The event loop ----

// Records every turn of the event loop with a 1 ms timer; the longest gap between turns is
// how long the window could not answer.
class LoopGapProbe {
public:
    LoopGapProbe();
    ~LoopGapProbe();
    void Start();
    void Stop();
    // The longest pause, counting from Start to the first turn and from the last turn to Stop,
    // and where it began, in milliseconds after Start.
    struct Gap {
        double ms = 0;
        double startMs = 0;
        double totalMs = 0; // Start to Stop
    };
    Gap Longest() const;
    size_t Turns() const { return stamps_.size(); }

private:
    std::unique_ptr<QTimer> timer_;
    std::vector<Clock::time_point> stamps_;
    Clock::time_point started_, stopped_;
};

// ---- The program ----

// Makes the toolkit's application for the in-process sections (once); it must go before the
// process's static objects do, so main releases it.
void EnsureApplication();
void ReleaseApplication();

// Runs the real program from its entry routine; `during` runs inside its event loop once the
// main window is shown and exposed, and the program quits afterwards. Messages the program
// would have shown are collected instead.
struct ProgramRun {
    int32_t status = -1;
    bool windowReached = false;
    std::vector<std::string> messages;
};
ProgramRun RunProgram(const std::function<void(Window1&)>& during);

// Answers the program's folder and save dialogs with these paths, in order.
void AnswerDialogs(std::vector<std::string> answers);

// Scans `folder` through the window's button and turns the preview on, as a person would.
void ScanWithPreviewOn(Window1& w, const std::string& folder);

} // namespace bench
