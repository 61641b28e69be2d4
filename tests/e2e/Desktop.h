#pragma once
// The end-to-end layer's tools: a private X server, child processes, and the real program
// driven as a person drives it, with the mouse and keyboard through xdotool. Nothing here
// reaches inside the program: what a test learns, it learns from the screen's windows, the
// files the program writes, its exit status and its standard error.
//
// A typical test:
//     e2e::XServer x;                       // Xvfb on a display number of its own choosing
//     e2e::Program p(x);                    // the program, its main window found and focused
//     p.Click(e2e::kScanButton);            // a click at a point of the window's content
//     p.AnswerDialog("Choose a folder to scan", "/some/folder");
//     p.WaitIdle();
//     e2e::Clock::time_point asked = p.Keys("ctrl+q");
//     e2e::Exit end = p.WaitExit(asked);    // status and how long the exit took
//
// ZORLIN_E2E_TRACE=1 in the environment prints every xdotool step with its time and answer.
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace e2e {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A child process whose standard output and error go to a file. Killed and reaped, if it
// still runs, when the object goes.
class Process {
public:
    // argv[0] is looked up on PATH when it has no slash. env is the whole environment. passFd
    // is handed to the child as descriptor passAs. A non-negative asUser runs the child as that
    // user, with the group of the same number and no others (the test must run as root).
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& outputPath,
            int passFd = -1, int passAs = -1, int asUser = -1);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return pid_; }
    // True once the process has ended (and was reaped); waits at most `timeout`.
    bool Wait(milliseconds timeout);
    bool Ended() const { return ended_; }
    int WaitStatus() const { return status_; } // as waitpid gives it; valid once Ended()
    Clock::time_point EndTime() const { return endTime_; }
    void Signal(int sig) const;
    struct Stat {
        char state = '?';     // 'R' running or ready to run, 'S' waiting for input, ...
        long long ticks = -1; // processor time so far, user and system, in clock ticks
    };
    Stat Sample() const;
    long long CpuTicks() const { return Sample().ticks; }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
    Clock::time_point endTime_;
};

struct ToolResult {
    int status = -1;       // the exit code, or -1 when it did not end in time or was killed
    std::string output;    // its standard output
};
// Runs a command-line tool to its end, or kills it after `timeout`.
ToolResult RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   milliseconds timeout = milliseconds(10000));

// A private Xvfb. The server picks a free display number itself (-displayfd), so that servers
// of tests running side by side never collide.
class XServer {
public:
    XServer();
    ~XServer();
    const std::string& Display() const { return display_; } // ":N"
    // The environment for tools that talk to this server.
    std::vector<std::string> Env() const;
    // Runs xdotool with these arguments against this server; its output, trimmed.
    std::string Xdotool(const std::vector<std::string>& args, milliseconds timeout = milliseconds(10000)) const;
    // Asks the window to close as a window manager's close button does: a WM_DELETE_WINDOW
    // client message.
    void RequestClose(const std::string& window) const;

private:
    std::string display_;
    std::string dir_; // where the server's log goes
    Process* server_ = nullptr;
};

// Points of the main window's content (below the menu bar) at its opening size, 1000 by 400.
struct Point {
    int x, y;
};
inline constexpr Point kScanButton{95, 370};
inline constexpr Point kExportButton{265, 370};
inline constexpr Point kFilterCheckBox{368, 370};
inline constexpr Point kPreviewCheckBox{732, 16};
inline constexpr Point kFileMenu{18, -10};
// The list: its heading row and rows, of fixed heights.
inline constexpr int kListLeft = 20, kListTop = 34, kHeadingHeight = 20, kRowHeight = 20;
inline constexpr Point kNameHeading{kListLeft + 150, kListTop + kHeadingHeight / 2};
// The six headings, "File" to "Additional Path", each at its middle.
inline constexpr Point Heading(int column)
{
    constexpr int kMiddles[] = {34, 150, 273, 355, 437, 570};
    return {kListLeft + kMiddles[column], kListTop + kHeadingHeight / 2};
}
inline constexpr Point ListRow(int row) { return {kListLeft + 100, kListTop + kHeadingHeight + kRowHeight * row + kRowHeight / 2}; }

enum class Replace { No, Yes };

// The unprivileged user and its group, for runs that must not read through permission bits.
inline constexpr int kNobody = 65534;

struct Exit {
    bool ended = false;  // false: still running when the wait gave up
    int status = -1;     // the exit code, or 128 + the signal that ended it
    double seconds = 0;  // from the moment the test gave the order to the end of the process
};

// The program under test, started on the server with a home folder of its own, its main window
// found, shown and focused.
class Program {
public:
    // With asUser not negative, the program runs as that user (and group of the same number),
    // so that permission bits bind it as they bind a person: kNobody, say. The home folder is
    // then that user's.
    explicit Program(const XServer& x, int asUser = -1);
    ~Program();

    const std::string& MainWindow() const { return window_; }
    Process& Proc() { return *process_; }
    // The size of the main window's frame, menu bar included.
    std::pair<int, int> WindowSize() const;
    std::string WindowTitle() const;
    int MenuBarHeight() const { return menuBar_; }

    // Gives the window keyboard focus (bare Xvfb has no window manager to do it).
    void Focus(const std::string& window) const;
    // Clicks at a point of the main window's content.
    void Click(Point p) const;
    // Presses keys in xdotool's notation ("ctrl+q", "Return", "Down") in the main window, one
    // after the other where blanks part them ("alt+f q"); the moment they were sent.
    Clock::time_point Keys(const std::string& keys) const;
    // Presses the keys `times` times over, as fast as the server takes them: a walk down a
    // long list, say.
    void KeysOver(const std::string& keys, int times) const;
    // Opens the File menu with a click and closes it again with Escape; false when the menu
    // did not open and close within `timeout` each: the program does not answer its input.
    bool Answers(milliseconds timeout = milliseconds(60000)) const;
    // Chooses File > Quit with the mouse; the moment of the click on Quit.
    Clock::time_point QuitFromMenu() const;

    // The program's visible window with this title, waiting up to `timeout` for it to appear.
    std::string WaitForWindow(const std::string& title, milliseconds timeout = milliseconds(60000)) const;
    bool WindowShown(const std::string& title) const;
    // Answers a file dialog by typing a full path into its name field and pressing Return;
    // with Replace::Yes, then answers Yes when the dialog asks before replacing the file, and
    // returns at once.
    void AnswerDialog(const std::string& title, const std::string& path, Replace replace = Replace::No) const;
    // Starts a scan of the folder: "Scan Folder..." and the folder typed into its dialog. Returns
    // once the dialog has gone, the walk begun.
    void StartScan(const std::string& folder) const;
    // Starts an export to the file: "Export List..." and the name typed into its dialog.
    // Returns once the dialog has gone (with Replace::Yes, at once), the writing begun.
    void StartExport(const std::string& path, Replace replace = Replace::No) const;
    // Waits until the program has been waiting for input, using next to no processor time, for
    // most of a second: a scan has ended. (A program starved of processor time by a busy
    // machine uses none either, but it is not waiting.)
    void WaitIdle(milliseconds timeout = milliseconds(60000)) const;
    // Waits until the program has used processor time since `ticks`: a long task has begun.
    void WaitBusy(long long ticks, milliseconds timeout = milliseconds(20000)) const;

    // Waits until the file is there: an export puts its file in place when it is complete.
    void WaitForFile(const std::string& path, milliseconds timeout = milliseconds(60000)) const;
    // Waits for the end of the run; the time counts from `since`.
    Exit WaitExit(Clock::time_point since, milliseconds timeout = milliseconds(20000));
    // What the program wrote to its standard output and error.
    std::string Output() const;

private:
    std::string OpenFileMenu(milliseconds timeout) const;
    std::string OtherWindow(const std::string& title, const std::string& known) const;

    const XServer& x_;
    std::string home_;
    Process* process_ = nullptr;
    std::string window_;
    int menuBar_ = 0;
};

// Expects the run to end with status 0 and no sign of a crash in its output, and prints how long
// after `asked` it ended. How prompt the end is, `make bench` measures (QuitBench): a bound here
// would fail by chance on a busy machine.
void ExpectCleanExit(Program& program, Clock::time_point asked);
// How much slower the sanitizers' build runs than the release build, for time bounds.
double SlownessFactor();

// Lines in the program's output that a crash, a sanitizer or a Qt warning about misuse leaves;
// empty when there is none.
std::string CrashSigns(const std::string& output);

// The program under test, from the same build as the tests.
std::string ProgramPath();

} // namespace e2e
