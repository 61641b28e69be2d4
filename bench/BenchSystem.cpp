// The benchmark's dealings with the system: scratch folders and their removal, and child
// processes timed from the outside.
#include "BenchSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {
// ---- Scratch space ----

namespace {

// The scratch folder of the running section, kept where a signal handler may read it.
char gScratchPath[4096];

// Interrupted, the benchmark turns into "rm -rf" of its scratch folder: a million files
// left in /tmp would outlive the run, and exec is one of the few things a handler may do.
void RemoveScratchAndEnd(int)
{
    static const char kMessage[] = "zorlin-bench: interrupted, removing its scratch folder\n";
    (void)!::write(2, kMessage, sizeof(kMessage) - 1);
    if (gScratchPath[0]) {
        char rm[] = "rm", flags[] = "-rf";
        char* argv[] = {rm, flags, gScratchPath, nullptr};
        ::execv("/bin/rm", argv);
    }
    ::_exit(130);
}

void RemoveOnInterrupt(const std::string& path)
{
    static bool installed = false;
    if (!installed) {
        struct sigaction action = {};
        action.sa_handler = RemoveScratchAndEnd;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
        installed = true;
    }
    if (path.size() < sizeof(gScratchPath))
        std::memcpy(gScratchPath, path.c_str(), path.size() + 1);
}

} // namespace

ScratchDir::ScratchDir(const std::string& tag)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zorlin-bench-" + tag + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (!::mkdtemp(buf.data())) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    path_ = buf.data();
    RemoveOnInterrupt(path_);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path_);
    gScratchPath[0] = 0;
}

namespace {

void CollectFolders(int fd, const std::string& path, std::vector<std::string>& out)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    out.push_back(path);
    while (const dirent* e = ::readdir(dir)) {
        const char* n = e->d_name;
        if (e->d_type != DT_DIR || (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))))
            continue;
        int sub = ::openat(::dirfd(dir), n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0)
            CollectFolders(sub, path + "/" + n, out);
    }
    ::closedir(dir);
}

void UnlinkFilesIn(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir))
        if (e->d_type != DT_DIR)
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    ::closedir(dir);
}

} // namespace

void RemoveTree(const std::string& root)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    std::vector<std::string> folders;
    CollectFolders(fd, root, folders);
    // The files go in parallel, folder by folder; the folders, deepest first, after them.
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
        workers.emplace_back([&] {
            for (size_t i; (i = next++) < folders.size();)
                UnlinkFilesIn(folders[i]);
        });
    for (auto& w : workers)
        w.join();
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        ::rmdir(it->c_str());
}

// ---- Child processes ----

namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv)
{
    std::vector<char*> out;
    for (const std::string& a : argv)
        out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

} // namespace

std::string SelfExe()
{
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string("/proc/self/exe");
}

double TimeChild(const std::vector<std::string>& argv, const std::string& stdoutPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args = ArgvOf(argv);
    pid_t pid = 0;
    auto start = Clock::now();
    int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    auto end = Clock::now();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? MsBetween(start, end) : -1;
}

namespace {

// Starts a program with its output to a pipe (and its errors to `stderrPath` when one is
// given): the pipe's reading end, or -1 when it could not start.
int SpawnToPipe(const std::vector<std::string>& argv, const char* stderrPath, pid_t& pid)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    if (stderrPath)
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args = ArgvOf(argv);
    int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    return pipeFds[0];
}

// Reads the pipe to its end and waits for the program: whether it ended well.
bool DrainAndWait(int fd, pid_t pid)
{
    static char sink[1 << 16];
    while (::read(fd, sink, sizeof(sink)) > 0) {
    }
    ::close(fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

double TimeChildToPipe(const std::vector<std::string>& argv)
{
    pid_t pid = 0;
    auto start = Clock::now();
    int fd = SpawnToPipe(argv, nullptr, pid);
    if (fd < 0)
        return -1;
    bool ok = DrainAndWait(fd, pid);
    return ok ? MsBetween(start, Clock::now()) : -1;
}

Stats TimeTool(const std::vector<std::string>& argv, int runs)
{
    TimeChildToPipe(argv); // warm-up: its files and the tree in cache
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i)
        ms.push_back(TimeChildToPipe(argv));
    return Summarize(ms);
}

LineResult TimeToFirstLine(const std::vector<std::string>& argv, const std::string& stderrPath)
{
    LineResult result;
    pid_t pid = 0;
    auto start = Clock::now();
    int fd = SpawnToPipe(argv, stderrPath.c_str(), pid);
    if (fd < 0)
        return result;
    char c;
    bool gotLine = false;
    while (::read(fd, &c, 1) == 1) {
        if (c == '\n') {
            gotLine = true;
            break;
        }
        result.line.push_back(c);
    }
    if (gotLine)
        result.ms = MsBetween(start, Clock::now());
    // Drain what else it writes, so it never blocks on a full pipe while ending.
    if (!DrainAndWait(fd, pid))
        result.ms = -1;
    return result;
}

} // namespace bench
