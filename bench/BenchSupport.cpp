#include "BenchSupport.h"

#include "ProgramRunCore.h"

#include "app/Entry.h"
#include "app/Module1.h"
#include "framework/runtime/Runtime.h"
#include "framework/ui/Dialogs.h"
#include "framework/ui/Window.h"
#include "framework/ui/WindowPrivate.h"
#include "window/Window1.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace bench {

double MsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

Stats Summarize(std::vector<double> values)
{
    Stats s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.min = values.front();
    s.max = values.back();
    return s;
}

// ---- The report ----

namespace {

struct GoalLine {
    std::string section;
    bool met;
    std::string text;
};

std::string& CurrentSection()
{
    static std::string section;
    return section;
}

std::vector<GoalLine>& Goals()
{
    static std::vector<GoalLine> goals;
    return goals;
}

bool& CheckFailed()
{
    static bool failed = false;
    return failed;
}

} // namespace

std::string Format(const char* format, ...)
{
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof(buf), format, args);
    va_end(args);
    return buf;
}

std::string Thousands(int64_t n)
{
    std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out.push_back(',');
        out.push_back(digits[i]);
    }
    return n < 0 ? "-" + out : out;
}

void Heading(const std::string& title)
{
    std::printf("\n== %s ==\n", title.c_str());
    std::fflush(stdout);
    CurrentSection() = title;
}

void Note(const std::string& text)
{
    std::printf("  %s\n", text.c_str());
    std::fflush(stdout);
}

void Figure(const std::string& label, const std::string& value, const std::string& baseline)
{
    if (baseline.empty())
        std::printf("  %-46s %s\n", label.c_str(), value.c_str());
    else
        std::printf("  %-46s %-22s | %s\n", label.c_str(), value.c_str(), baseline.c_str());
    std::fflush(stdout);
}

void Goal(bool met, const std::string& what, const std::string& measured)
{
    std::string text = what + ": " + measured;
    std::printf("  [%s] %s\n", met ? "PASS" : "MISS", text.c_str());
    std::fflush(stdout);
    Goals().push_back({CurrentSection(), met, text});
}

bool Check(bool ok, const std::string& what)
{
    if (!ok) {
        std::printf("  [CHECK FAILED] %s\n", what.c_str());
        std::fflush(stdout);
        CheckFailed() = true;
    }
    return ok;
}

std::string SummaryTable()
{
    // Each goal's text carries its figure and the baseline measured beside it.
    std::string table = "| Section | Goal: figure beside its baseline | Result |\n|---|---|---|\n";
    for (const GoalLine& g : Goals()) {
        std::string text = g.text;
        for (size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at + 2))
            text.replace(at, 1, "\\|");
        table += "| " + g.section + " | " + text + " | " + (g.met ? "PASS" : "MISS") + " |\n";
    }
    return table;
}

void PrintSummary()
{
    Heading("Summary: every goal beside its baseline");
    std::printf("%s", SummaryTable().c_str());
    if (CheckFailed())
        std::printf("  Some of the benchmark's own checks failed; see above.\n");
    std::fflush(stdout);
}

bool AnyCheckFailed() { return CheckFailed(); }

// ---- Memory ----

namespace {

int64_t StatusField(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    size_t len = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, len, field) == 0 && line.size() > len && line[len] == ':')
            return std::stoll(line.substr(len + 1)) * 1024;
    return -1;
}

bool ResetPeakRss()
{
    int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return ok;
}

} // namespace

int64_t RssBytes()
{
    // statm is cheaper to read than status: the sampler reads it every few milliseconds.
    int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char buf[128];
    ssize_t n = ::read(fd, buf, sizeof(buf) - 1);
    ::close(fd);
    if (n <= 0)
        return -1;
    buf[n] = 0;
    long long size = 0, resident = 0;
    if (std::sscanf(buf, "%lld %lld", &size, &resident) != 2)
        return -1;
    return resident * ::sysconf(_SC_PAGESIZE);
}

PeakMemory::~PeakMemory()
{
    if (sampler_.joinable())
        Stop();
}

void PeakMemory::Start()
{
    ::malloc_trim(0);
    baseline_ = RssBytes();
    peak_ = baseline_;
    sampled_ = !(ResetPeakRss() && StatusField("VmHWM") <= baseline_ + (1 << 20));
    if (sampled_) {
        stop_ = false;
        sampler_ = std::thread([this] {
            while (!stop_) {
                peak_ = std::max(peak_.load(), RssBytes());
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
}

void PeakMemory::Stop()
{
    if (sampled_) {
        stop_ = true;
        if (sampler_.joinable())
            sampler_.join();
        peak_ = std::max(peak_.load(), RssBytes());
    } else {
        peak_ = std::max(StatusField("VmHWM"), RssBytes());
    }
}

// ---- The event loop ----

LoopGapProbe::LoopGapProbe() : timer_(std::make_unique<QTimer>())
{
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(1);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { stamps_.push_back(Clock::now()); });
}

LoopGapProbe::~LoopGapProbe() = default;

void LoopGapProbe::Start()
{
    stamps_.clear();
    stamps_.reserve(1 << 16);
    started_ = Clock::now();
    timer_->start();
}

void LoopGapProbe::Stop()
{
    stopped_ = Clock::now();
    timer_->stop();
}

LoopGapProbe::Gap LoopGapProbe::Longest() const
{
    Gap gap;
    gap.totalMs = MsBetween(started_, stopped_);
    Clock::time_point previous = started_;
    auto consider = [&](Clock::time_point t) {
        if (MsBetween(previous, t) > gap.ms) {
            gap.ms = MsBetween(previous, t);
            gap.startMs = MsBetween(started_, previous);
        }
        previous = t;
    };
    for (Clock::time_point t : stamps_)
        consider(t);
    consider(stopped_);
    return gap;
}

// ---- The program ----

namespace {
std::unique_ptr<QApplication> gApp;
}

void EnsureApplication()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "zorlin-bench";
    static char* argv[] = {name, nullptr};
    gApp = std::make_unique<QApplication>(argc, argv);
}

void ReleaseApplication() { gApp.reset(); }

ProgramRun RunProgram(const std::function<void(Window1&)>& during)
{
    ProgramRun result;
    fw::SetUnhandledExceptionReporter([&](const std::string& title, const std::string& text) {
        result.messages.push_back(title + ": " + text);
    });
    result.status = program_run::RunMain([&](Window1& win) {
        if (!during)
            return;
        QWidget* host = win.Host();
        if (!host->isVisible())
            host->show();
        result.windowReached = QTest::qWaitForWindowExposed(host);
        try {
            during(win);
        } catch (const std::exception& e) {
            result.messages.push_back(std::string("benchmark: ") + e.what());
        } catch (...) {
            result.messages.push_back("benchmark: unknown failure");
        }
    });
    return result;
}

void AnswerDialogs(std::vector<std::string> answers)
{
    fw::testing::AnswerDialogs(std::move(answers));
}

} // namespace bench
