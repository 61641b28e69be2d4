#include "OpenHold.h"

#include <cerrno>
#include <climits>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <unistd.h>

namespace e2e {

OpenHold::OpenHold(const std::string& folder, const std::string& namePrefix) : prefix_(folder + "/" + namePrefix)
{
    group_ = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE | O_CLOEXEC);
    if (group_ < 0)
        return;
    if (::fanotify_mark(group_, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD, folder.c_str()) != 0) {
        ::close(group_);
        group_ = -1;
        return;
    }
    watcher_ = std::thread([this] { Watch(); });
}

OpenHold::~OpenHold()
{
    if (group_ < 0)
        return;
    Release();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    watcher_.join();
    ::close(group_); // any open still waiting on the group goes on
}

void OpenHold::Allow(int fd)
{
    fanotify_response r{fd, FAN_ALLOW};
    [[maybe_unused]] ssize_t n = ::write(group_, &r, sizeof r);
    ::close(fd);
}

// Answers every open at once but the first of a matching name, which waits for Release().
void OpenHold::Watch()
{
    alignas(fanotify_event_metadata) char buffer[4096];
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
        }
        pollfd p{group_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        ssize_t n = ::read(group_, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        for (auto* m = reinterpret_cast<fanotify_event_metadata*>(buffer); FAN_EVENT_OK(m, n); m = FAN_EVENT_NEXT(m, n)) {
            if (m->fd < 0)
                continue;
            char link[64], path[PATH_MAX] = {};
            std::snprintf(link, sizeof link, "/proc/self/fd/%d", m->fd);
            [[maybe_unused]] ssize_t length = ::readlink(link, path, sizeof path - 1);
            std::lock_guard lock(mutex_);
            if (held_ == -1 && !stopping_ && std::string(path).rfind(prefix_, 0) == 0) {
                held_ = m->fd;
                changed_.notify_all();
            } else {
                Allow(m->fd);
            }
        }
    }
}

bool OpenHold::WaitHeld(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return held_ >= 0; });
}

void OpenHold::Release()
{
    std::lock_guard lock(mutex_);
    if (held_ >= 0)
        Allow(held_);
    held_ = -2; // and none is held again
}

} // namespace e2e
