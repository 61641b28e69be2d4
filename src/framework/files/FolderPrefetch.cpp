#include "FolderPrefetch.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <unistd.h>

namespace fw {

struct PrefetchJob {
    int fd = -1;
    bool done = false;
    bool cancelled = false;
    uint64_t generation = 0; // the process the job belongs to; a fork starts a new one
    Listing listing;
};

namespace {

constexpr int kThreads = 3;
constexpr int kMaxWaiting = 32;

// Leaked on purpose: the threads wait on it until the process ends.
struct Pool {
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable finished;
    std::deque<PrefetchTicket> queue;
    int threads = 0;
    uint64_t generation = 1;
    int waiting = 0; // tickets handed out and not yet taken or cancelled (user-interface thread)
    uint64_t used = 0;
};

Pool& P()
{
    static Pool* pool = [] {
        auto* p = new Pool;
        // A child of fork has none of the threads: it starts its own, and listings promised by
        // the parent's threads are read afresh. The lock is held across the fork so that the
        // child never inherits it locked by a thread it does not have.
        ::pthread_atfork([] { P().mutex.lock(); }, [] { P().mutex.unlock(); },
                         [] {
                             Pool& q = P();
                             q.mutex.unlock();
                             new (&q.mutex) std::mutex;
                             new (&q.work) std::condition_variable;
                             new (&q.finished) std::condition_variable;
                             q.queue.clear();
                             q.threads = 0;
                             q.waiting = 0;
                             ++q.generation;
                         });
        return p;
    }();
    return *pool;
}

void Work()
{
    Pool& p = P();
    std::unique_lock lock(p.mutex);
    for (;;) {
        p.work.wait(lock, [&] { return !p.queue.empty(); });
        PrefetchTicket job = std::move(p.queue.front());
        p.queue.pop_front();
        if (job->cancelled) {
            ::close(job->fd);
            continue;
        }
        int fd = job->fd;
        lock.unlock();
        Listing listing = ReadListing(fd);
        lock.lock();
        job->listing = std::move(listing);
        job->done = true;
        p.finished.notify_all();
    }
}

} // namespace

namespace FolderPrefetch {

bool CanStart()
{
    return P().waiting < kMaxWaiting;
}

PrefetchTicket Start(int fd)
{
    Pool& p = P();
    auto job = std::make_shared<PrefetchJob>();
    job->fd = fd;
    std::lock_guard lock(p.mutex);
    job->generation = p.generation;
    while (p.threads < kThreads) {
        std::thread(Work).detach();
        ++p.threads;
    }
    p.queue.push_back(job);
    ++p.waiting;
    p.work.notify_one();
    return job;
}

std::optional<Listing> Take(PrefetchTicket& ticket)
{
    Pool& p = P();
    std::unique_lock lock(p.mutex);
    PrefetchTicket job = std::move(ticket);
    if (job->generation != p.generation && !job->done)
        return std::nullopt;
    if (job->generation == p.generation)
        --p.waiting;
    p.finished.wait(lock, [&] { return job->done; });
    return std::move(job->listing);
}

uint64_t UsedCount()
{
    return P().used;
}

void NoteUsed()
{
    ++P().used;
}

void Cancel(PrefetchTicket& ticket)
{
    if (!ticket)
        return;
    Pool& p = P();
    std::lock_guard lock(p.mutex);
    ticket->cancelled = true;
    if (ticket->generation == p.generation)
        --p.waiting;
    ticket.reset(); // a listing already read goes with the last holder of the job
}

} // namespace FolderPrefetch
} // namespace fw
