// Child processes for the end-to-end tests: started with fork and exec so that each dies with
// the test (a test killed by its time limit leaves no X server or program behind).
#include "Desktop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {
namespace {

std::vector<char*> Pointers(const std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (const std::string& s : strings)
        p.push_back(const_cast<char*>(s.c_str()));
    p.push_back(nullptr);
    return p;
}

// Forks; the child sets up its descriptors, takes on the user `asUser` (and the group of the
// same number) when it is not negative, and runs argv. Only async-signal-safe calls happen in
// the child before exec.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int out, int passFd,
            int passAs, int asUser = -1)
{
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> envp = Pointers(env);
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    ::setpgid(0, 0); // a terminal's Ctrl+C reaches the test, not its children
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    if (passFd >= 0)
        ::dup2(passFd, passAs);
    // Groups first: once the user is given up, so is the right to change them.
    if (asUser >= 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(asUser)) != 0 || ::setuid(uid_t(asUser)) != 0))
        ::_exit(126);
    ::execvpe(args[0], args.data(), envp.data());
    ::_exit(127);
}

int ExitStatus(int waitStatus)
{
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return -1;
}

} // namespace

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::string& outputPath, int passFd, int passAs, int asUser)
{
    int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) {
        ADD_FAILURE() << outputPath << ": " << std::strerror(errno);
        ended_ = true;
        return;
    }
    pid_ = Spawn(argv, env, out, passFd, passAs, asUser);
    ::close(out);
    if (pid_ < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        ended_ = true;
    }
}

Process::~Process()
{
    if (!ended_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
}

bool Process::Wait(milliseconds timeout)
{
    Clock::time_point deadline = Clock::now() + timeout;
    while (!ended_) {
        pid_t r = ::waitpid(pid_, &status_, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR)) {
            endTime_ = Clock::now();
            ended_ = true;
            break;
        }
        if (Clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return ended_;
}

void Process::Signal(int sig) const
{
    if (!ended_)
        ::kill(pid_, sig);
}

Process::Stat Process::Sample() const
{
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return {};
    // After the name: the state, then fields 4 to 13, then the user and system times.
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    Stat stat;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 3)
            stat.state = field[0];
        if (i == 14 || i == 15)
            stat.ticks += std::stoll(field);
    }
    return stat;
}

ToolResult RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env, milliseconds timeout)
{
    ToolResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return result;
    pid_t pid = Spawn(argv, env, fds[1], -1, -1);
    ::close(fds[1]);
    Clock::time_point deadline = Clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        int left = int(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count());
        pollfd p{fds[0], POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            break;
        ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, size_t(n));
    }
    ::close(fds[0]);
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    if (r == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return result;
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Exit Program::WaitExit(Clock::time_point since, milliseconds timeout)
{
    Exit e;
    e.ended = process_->Wait(timeout);
    if (e.ended) {
        e.status = ExitStatus(process_->WaitStatus());
        e.seconds = std::chrono::duration<double>(process_->EndTime() - since).count();
    }
    return e;
}

} // namespace e2e
