// The private X server and the program driven on it.
#include "Desktop.h"

#include "Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace e2e {
namespace {

std::string Trim(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

std::string FirstLine(const std::string& s)
{
    return s.substr(0, s.find('\n'));
}

// Reads the display number that Xvfb writes when it is ready to take clients.
std::string ReadDisplayNumber(int fd, milliseconds timeout)
{
    std::string text;
    Clock::time_point deadline = Clock::now() + timeout;
    while (text.find('\n') == std::string::npos) {
        int left = int(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count());
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            return "";
        char c[16];
        ssize_t n = ::read(fd, c, sizeof c);
        if (n <= 0)
            return "";
        text.append(c, size_t(n));
    }
    return FirstLine(text);
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return atom;
}

// A bound for waits on the program's windows that only a program gone astray reaches, however
// busy the machine is.
milliseconds Generous(int seconds)
{
    return milliseconds(int(seconds * 1000 * SlownessFactor()));
}

// One sample of the program's state at each call: it is quiet once it has been waiting for
// input, using next to no processor time, for six samples in a row. (A program starved of
// processor time by a busy machine uses none either, but it is not waiting.)
class Quietness {
public:
    explicit Quietness(const Process& p) : p_(p), last_(p.CpuTicks()) {}
    bool Sample()
    {
        Process::Stat now = p_.Sample();
        quiet_ = now.state == 'S' && now.ticks - last_ <= 1 ? quiet_ + 1 : 0;
        last_ = now.ticks;
        return quiet_ >= 6;
    }

private:
    const Process& p_;
    long long last_;
    int quiet_ = 0;
};

} // namespace

std::string ProgramPath()
{
    return ZORLIN_PROGRAM;
}

XServer::XServer()
{
    dir_ = files::MakeTempFolder("zorlin-e2e-x");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    server_ = new Process({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"},
                          {"PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")},
                          dir_ + "/xvfb.log", fds[1], 3);
    ::close(fds[1]);
    std::string number = ReadDisplayNumber(fds[0], milliseconds(20000));
    ::close(fds[0]);
    if (number.empty())
        ADD_FAILURE() << "Xvfb did not start: " << files::ReadText(dir_ + "/xvfb.log");
    else
        display_ = ":" + number;
}

XServer::~XServer()
{
    if (server_) {
        server_->Signal(SIGTERM);
        server_->Wait(milliseconds(5000));
        delete server_;
    }
    files::RemoveTree(dir_);
}

std::vector<std::string> XServer::Env() const
{
    const char* path = std::getenv("PATH");
    return {"DISPLAY=" + display_, "PATH=" + std::string(path ? path : "/usr/bin:/bin")};
}

std::string XServer::Xdotool(const std::vector<std::string>& args, milliseconds timeout) const
{
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    Clock::time_point start = Clock::now();
    std::string output = Trim(RunTool(argv, Env(), timeout).output);
    // A search that meets a window going away as it looks fails with an X error instead of an
    // answer (its output, error included, would read as a window found): it is asked again.
    for (int again = 0; again < 10 && args[0] == "search" && output.find("X Error") != std::string::npos; ++again)
        output = Trim(RunTool(argv, Env(), timeout).output);
    // ZORLIN_E2E_TRACE=1 shows each step the test takes, for a test that goes astray.
    if (std::getenv("ZORLIN_E2E_TRACE")) {
        std::string line;
        for (const std::string& a : argv)
            line += a + " ";
        std::fprintf(stderr, "[%5.0f ms] %s-> %s\n", std::chrono::duration<double, std::milli>(Clock::now() - start).count(),
                     line.c_str(), FirstLine(output).c_str());
    }
    return output;
}

void XServer::RequestClose(const std::string& window) const
{
    xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
    if (xcb_connection_has_error(c)) {
        ADD_FAILURE() << "cannot reach " << display_;
        xcb_disconnect(c);
        return;
    }
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = xcb_window_t(std::stoul(window));
    e.type = Atom(c, "WM_PROTOCOLS");
    e.data.data32[0] = Atom(c, "WM_DELETE_WINDOW");
    e.data.data32[1] = XCB_CURRENT_TIME;
    // Sent to the window itself with no event mask: its own client receives it, as from a
    // window manager.
    xcb_send_event(c, 0, e.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
    // A round trip before hanging up: the server may drop the requests of a client that has
    // gone before it read them.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

Program::Program(const XServer& x, int asUser) : x_(x), home_(files::MakeTempFolder("zorlin-e2e-home"))
{
    ::mkdir((home_ + "/run").c_str(), 0700);
    // The toolkit refuses a runtime folder that is not the user's own.
    if (asUser >= 0) {
        for (const std::string& own : {home_, home_ + "/run"})
            EXPECT_EQ(::chown(own.c_str(), uid_t(asUser), gid_t(asUser)), 0) << own << ": " << std::strerror(errno);
    }
    std::vector<std::string> env = x.Env();
    env.push_back("HOME=" + home_);
    env.push_back("XDG_RUNTIME_DIR=" + home_ + "/run");
    env.push_back("LANG=C.UTF-8");
    env.push_back("QT_QPA_PLATFORM=xcb");
    // A sanitizer report ends the run with a failure that the test sees. The program leaves
    // a large list unfreed at its end on purpose, so leaks are not looked for.
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "detect_leaks=0:abort_on_error=1"));
    if (const char* ubsan = std::getenv("UBSAN_OPTIONS"))
        env.push_back(std::string("UBSAN_OPTIONS=") + ubsan);
    process_ = new Process({ProgramPath()}, env, home_ + "/output.txt", -1, -1, asUser);
    window_ = WaitForWindow("Zorlin File Sorter", milliseconds(30000));
    if (window_.empty()) {
        ADD_FAILURE() << "the main window did not appear; the program said:\n" << Output();
        return;
    }
    menuBar_ = WindowSize().second - 400;
    Focus(window_);
}

Program::~Program()
{
    delete process_;
    files::RemoveTree(home_);
}

std::pair<int, int> Program::WindowSize() const
{
    // "WIDTH=1000\nHEIGHT=419\n..." from --shell.
    std::istringstream in(x_.Xdotool({"getwindowgeometry", "--shell", window_}));
    std::string line;
    int w = 0, h = 0;
    while (std::getline(in, line)) {
        if (line.rfind("WIDTH=", 0) == 0)
            w = std::stoi(line.substr(6));
        if (line.rfind("HEIGHT=", 0) == 0)
            h = std::stoi(line.substr(7));
    }
    return {w, h};
}

std::string Program::WindowTitle() const
{
    return x_.Xdotool({"getwindowname", window_});
}

void Program::Focus(const std::string& window) const
{
    x_.Xdotool({"windowfocus", "--sync", window});
}

void Program::Click(Point p) const
{
    x_.Xdotool({"mousemove", "--window", window_, std::to_string(p.x), std::to_string(p.y + menuBar_), "click", "1"});
}

Clock::time_point Program::Keys(const std::string& keys) const
{
    std::vector<std::string> args = {"key"};
    std::istringstream each(keys);
    for (std::string key; each >> key;)
        args.push_back(key);
    Focus(window_);
    Clock::time_point sent = Clock::now();
    x_.Xdotool(args);
    return sent;
}

void Program::KeysOver(const std::string& keys, int times) const
{
    Focus(window_);
    // In batches: one command line per key would cost a process each.
    for (int done = 0; done < times;) {
        int batch = std::min(times - done, 1000);
        std::vector<std::string> args = {"key", "--delay", "0"};
        args.insert(args.end(), size_t(batch), keys);
        x_.Xdotool(args, milliseconds(60000));
        done += batch;
    }
}

// The program's menu window, once a click on File has opened it, or "".
std::string Program::OpenFileMenu(milliseconds timeout) const
{
    Focus(window_);
    Click(kFileMenu);
    // The menu is a window of its own, the program's only other visible one.
    Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        std::istringstream found(x_.Xdotool({"search", "--onlyvisible", "--pid", std::to_string(process_->Pid()), "--name", "."}));
        for (std::string w; std::getline(found, w);)
            if (w != window_)
                return w;
        if (Clock::now() > deadline)
            return "";
        std::this_thread::sleep_for(milliseconds(20));
    }
}

bool Program::Answers(milliseconds timeout) const
{
    std::string menu = OpenFileMenu(timeout);
    if (menu.empty())
        return false;
    x_.Xdotool({"key", "Escape"});
    // Closed, the menu is no longer among the program's visible windows.
    for (Clock::time_point deadline = Clock::now() + timeout; Clock::now() < deadline;) {
        std::string shown = x_.Xdotool({"search", "--onlyvisible", "--pid", std::to_string(process_->Pid()), "--name", "."});
        if (("\n" + shown + "\n").find("\n" + menu + "\n") == std::string::npos)
            return true;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return false;
}

Clock::time_point Program::QuitFromMenu() const
{
    std::string menu = OpenFileMenu(Generous(60));
    EXPECT_FALSE(menu.empty()) << "the File menu did not open";
    // Its first item is Quit.
    Clock::time_point clicked = Clock::now();
    x_.Xdotool({"mousemove", "--window", menu, "30", "11", "click", "1"});
    return clicked;
}

std::string Program::WaitForWindow(const std::string& title, milliseconds timeout) const
{
    // By name alone: the server is this test's own, and xdotool ignores the name when it is
    // also given a process.
    return FirstLine(x_.Xdotool({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}, timeout));
}

bool Program::WindowShown(const std::string& title) const
{
    return !x_.Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}).empty();
}

// The program's other visible window with this title than `known`, or "".
std::string Program::OtherWindow(const std::string& title, const std::string& known) const
{
    std::istringstream found(x_.Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}));
    for (std::string w; std::getline(found, w);)
        if (w != known)
            return w;
    return "";
}

void Program::AnswerDialog(const std::string& title, const std::string& path, Replace replace) const
{
    std::string dialog = WaitForWindow(title);
    ASSERT_FALSE(dialog.empty()) << "no dialog \"" << title << "\"; the program said:\n" << Output();
    Focus(dialog);
    // The name field has the focus; what it proposes is replaced.
    x_.Xdotool({"key", "ctrl+a"});
    x_.Xdotool({"type", "--delay", "2", path});
    // The first Return may only close the field's list of completions: another one goes only
    // once the program has taken the last (it has been waiting for input a while since) and the
    // dialog is still there. The keys go where the typing went: focusing the dialog again would
    // take the focus from that list.
    std::string question;
    auto answered = [&] {
        if (replace == Replace::Yes)
            question = OtherWindow(title, dialog); // it has the dialog's title
        return !question.empty() || !WindowShown(title);
    };
    const Clock::time_point deadline = Clock::now() + Generous(60);
    for (int attempt = 0; attempt < 3 && !answered(); ++attempt) {
        x_.Xdotool({"key", "Return"});
        Quietness quiet(*process_);
        while (!answered() && !quiet.Sample() && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(100));
    }
    if (replace == Replace::Yes) {
        ASSERT_FALSE(question.empty()) << "the dialog did not ask before replacing " << path;
        Focus(question);
        // No waiting for the dialogs to go: the caller may want to catch what follows at once.
        x_.Xdotool({"key", "alt+y"});
        return;
    }
    ASSERT_FALSE(WindowShown(title)) << "the dialog \"" << title << "\" stayed open";
}

void Program::StartScan(const std::string& folder) const
{
    Focus(window_);
    Click(kScanButton);
    AnswerDialog("Choose a folder to scan", folder);
}

void Program::StartExport(const std::string& path, Replace replace) const
{
    Focus(window_);
    Click(kExportButton);
    AnswerDialog("Export the list", path, replace);
}

void Program::WaitIdle(milliseconds timeout) const
{
    Clock::time_point deadline = Clock::now() + timeout;
    Quietness quiet(*process_);
    bool idle = false;
    while (!idle && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(100));
        idle = quiet.Sample();
    }
    ASSERT_TRUE(idle) << "the program kept working";
}

void Program::WaitForFile(const std::string& path, milliseconds timeout) const
{
    Clock::time_point deadline = Clock::now() + timeout;
    while (::access(path.c_str(), F_OK) != 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_EQ(::access(path.c_str(), F_OK), 0) << path << " did not appear";
}

void Program::WaitBusy(long long ticks, milliseconds timeout) const
{
    Clock::time_point deadline = Clock::now() + timeout;
    while (process_->CpuTicks() < ticks + 5 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(2));
}

std::string Program::Output() const
{
    return files::ReadText(home_ + "/output.txt");
}

double SlownessFactor()
{
#ifdef ZORLIN_SANITIZE
    // Unoptimised, with every access checked: some five to ten times slower.
    return 10;
#else
    return 1;
#endif
}

void ExpectCleanExit(Program& program, Clock::time_point asked)
{
    Exit end = program.WaitExit(asked, Generous(60));
    ASSERT_TRUE(end.ended) << "still running; it said:\n" << program.Output();
    EXPECT_EQ(end.status, 0) << program.Output();
    EXPECT_EQ(CrashSigns(program.Output()), "");
    std::printf("the program ended %.3f s after it was asked to\n", end.seconds);
}

std::string CrashSigns(const std::string& output)
{
    static const char* const kSigns[] = {"Sanitizer", "runtime error", "Segmentation fault", "SIGSEGV", "Aborted",
                                         "terminate called", "Assertion", "QObject:", "QThread:", "QBasicTimer",
                                         "QSocketNotifier", "QWidget:", "X Error", "QPixmap:"};
    std::istringstream in(output);
    std::string signs;
    for (std::string line; std::getline(in, line);)
        for (const char* s : kSigns)
            if (line.find(s) != std::string::npos) {
                signs += line + "\n";
                break;
            }
    return signs;
}

} // namespace e2e
