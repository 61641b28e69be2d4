#include "FolderPrefetch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace fw {

struct PrefetchJob {
    int fd = -1;
    uint32_t depth = 0;    // below the walk's first folder
    uint64_t sequence = 0; // the order in which the jobs were started
    bool done = false;
    bool failed = false; // the reading failed (out of memory): the walk reads the folder itself
    bool cancelled = false;
    uint64_t generation = 0; // the process the job belongs to; a fork starts a new one
    Listing listing;
    ChildTickets children;
};

namespace {

constexpr int kThreads = 3;
constexpr int kFirstSubfolders = 12;
using FolderPrefetch::kMaxWaiting;

// The deepest first, as a depth-first walk finishes a subfolder before it takes the next
// sibling, and at one depth the first started, as siblings are started in the walk's order.
// Keys of constant size: a walk position of one number per level would make every comparison
// cost the tree's depth.
struct WalkOrder {
    bool operator()(const PrefetchTicket& a, const PrefetchTicket& b) const
    {
        if (a->depth != b->depth)
            return a->depth > b->depth;
        return a->sequence < b->sequence;
    }
};

// Leaked on purpose: the threads wait on it until the process ends.
struct Pool {
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable finished;
    std::set<PrefetchTicket, WalkOrder> queue; // the first is the one the walk reaches first
    int threads = 0;
    uint64_t generation = 1;
    // Jobs started and not yet taken or cancelled. Changed only under the lock, but read
    // without it: the walk asks before every subfolder whether it may start one more.
    std::atomic<int> waiting = 0;
    uint64_t started = 0;
    uint64_t used = 0;
    bool stopping = false; // the process is ending: no reading is started any more
};

Pool& P();

void ResetInChild()
{
    Pool& q = P();
    q.mutex.unlock();
    new (&q.mutex) std::mutex;
    new (&q.work) std::condition_variable;
    new (&q.finished) std::condition_variable;
    for (const PrefetchTicket& job : q.queue)
        ::close(job->fd); // nobody in this process will read them
    q.queue.clear();
    q.threads = 0;
    q.waiting = 0;
    ++q.generation;
}

Pool& P()
{
    static Pool* pool = [] {
        auto* p = new Pool;
        // A child of fork has none of the threads: it starts its own, and listings promised by
        // the parent's threads are read afresh. The lock is held across the fork so that the
        // child never inherits it locked by a thread it does not have.
        ::pthread_atfork([] { P().mutex.lock(); }, [] { P().mutex.unlock(); }, ResetInChild);
        return p;
    }();
    return *pool;
}

void Work();

// Queues a job, or closes fd and gives nothing when no reader can be had; the pool's lock is
// held.
PrefetchTicket Queue(Pool& p, int fd, uint32_t depth)
{
    if (p.stopping) {
        ::close(fd);
        return nullptr;
    }
    try {
        while (p.threads < kThreads) {
            std::thread(Work).detach();
            ++p.threads;
        }
    } catch (...) {
        // The system gave no more threads; those there are will do.
    }
    PrefetchTicket job;
    try {
        if (p.threads > 0) {
            job = std::make_shared<PrefetchJob>();
            job->fd = fd;
            job->depth = depth;
            job->sequence = ++p.started;
            job->generation = p.generation;
            p.queue.insert(job);
        }
    } catch (...) {
        job.reset();
    }
    if (!job) {
        ::close(fd);
        return nullptr;
    }
    ++p.waiting;
    p.work.notify_one();
    return job;
}

// The first subfolders of a folder just read, opened for reading on; without the pool's lock,
// as opening a folder on a slow network share may take long. The listing's kept descriptor is
// the folder itself.
std::vector<std::pair<uint32_t, int>> OpenSubfolders(const Listing& l, int most)
{
    std::vector<std::pair<uint32_t, int>> opened;
    try {
        for (uint32_t i = 0; i < l.entries.size() && l.keptFd >= 0 && opened.size() < size_t(most); ++i) {
            const ListEntry& e = l.entries[i];
            if (e.GetKind() != Kind::Folder)
                continue;
            opened.reserve(size_t(most));
            int fd = ::openat(l.keptFd, e.name.str().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0)
                opened.emplace_back(i, fd);
        }
    } catch (...) {
        // Out of memory: read on from what was opened.
    }
    return opened;
}

// Queues the subfolders opened, as far as the bound allows, and closes the rest; the lock is
// held.
void ReadOn(Pool& p, PrefetchJob& job, const std::vector<std::pair<uint32_t, int>>& opened)
{
    size_t next = 0;
    try {
        for (; next < opened.size() && p.waiting < kMaxWaiting; ++next) {
            auto [index, fd] = opened[next];
            job.children.reserve(job.children.size() + 1);
            PrefetchTicket child = Queue(p, fd, job.depth + 1); // closes fd if it fails
            if (!child) {
                ++next;
                break;
            }
            job.children.emplace_back(index, std::move(child));
        }
    } catch (...) {
        // Out of memory before the job was queued: its descriptor is still ours to close.
        if (next < opened.size())
            ::close(opened[next++].second);
    }
    for (; next < opened.size(); ++next)
        ::close(opened[next].second);
}

void CancelLocked(Pool& p, PrefetchTicket& ticket)
{
    ticket->cancelled = true;
    if (ticket->generation == p.generation) {
        --p.waiting;
        if (!ticket->done && p.queue.erase(ticket) > 0)
            ::close(ticket->fd);
    }
    for (auto& [index, child] : ticket->children)
        CancelLocked(p, child);
    ticket->children.clear();
    ticket.reset(); // a listing already read goes with the last holder of the job
}

void Work()
{
    Pool& p = P();
    std::unique_lock lock(p.mutex);
    for (;;) {
        p.work.wait(lock, [&] { return !p.queue.empty() || p.stopping; });
        if (p.stopping) {
            --p.threads;
            p.finished.notify_all();
            return;
        }
        PrefetchTicket job = *p.queue.begin();
        p.queue.erase(p.queue.begin());
        int fd = job->fd;
        lock.unlock();
        std::vector<std::pair<uint32_t, int>> opened;
        try {
            Listing listing = ReadListing(fd);
            // Room for the subfolders is set aside before they are opened, so that the readers
            // together never hold more than the bound allows. Only the first dozen are opened:
            // the room is best spent on the folders the walk comes to first, and of the
            // subfolders of a folder just read, those are the first ones. The walk opens the
            // others as it comes near them; a dozen covers a narrow folder whole (a slide's
            // stains, a roll's sessions), so that in a deep tree the walk itself opens few. Opening them all would spend the room on the first
            // folders read, the widest ones high in the tree, and leave none for the deep ones
            // the walk comes to next.
            lock.lock();
            int room = std::clamp(kMaxWaiting - p.waiting.load(), 0, kFirstSubfolders);
            p.waiting += room;
            lock.unlock();
            opened = OpenSubfolders(listing, room);
            lock.lock();
            p.waiting -= room;
            job->listing = std::move(listing);
        } catch (...) {
            if (!lock.owns_lock())
                lock.lock(); // out of memory: ReadListing closed fd, and the walk reads the folder
            job->failed = true;
        }
        job->done = true;
        if (!job->cancelled && !job->failed)
            ReadOn(p, *job, opened);
        else
            for (auto [index, child] : opened)
                ::close(child);
        p.finished.notify_all();
    }
}

} // namespace

namespace FolderPrefetch {

bool CanStart()
{
    return P().waiting.load(std::memory_order_relaxed) < kMaxWaiting;
}

PrefetchTicket Start(int fd, uint32_t depth)
{
    Pool& p = P();
    std::lock_guard lock(p.mutex);
    return Queue(p, fd, depth);
}

std::optional<Listing> Take(PrefetchTicket& ticket, ChildTickets& children)
{
    Pool& p = P();
    std::unique_lock lock(p.mutex);
    PrefetchTicket job = std::move(ticket);
    if (job->generation != p.generation && !job->done)
        return std::nullopt;
    if (job->generation == p.generation)
        --p.waiting;
    if (!job->done && p.queue.erase(job) > 0) {
        // Not begun: reading it here beats waiting behind the readers' other folders.
        lock.unlock();
        return ReadListing(job->fd);
    }
    p.finished.wait(lock, [&] { return job->done; });
    if (job->failed)
        return std::nullopt;
    children = std::move(job->children);
    job->children.clear();
    return std::move(job->listing);
}

void Cancel(PrefetchTicket& ticket)
{
    if (!ticket)
        return;
    Pool& p = P();
    std::lock_guard lock(p.mutex);
    CancelLocked(p, ticket);
}

void StopReading()
{
    Pool& p = P();
    std::unique_lock lock(p.mutex);
    p.stopping = true;
    for (const PrefetchTicket& job : p.queue) {
        ::close(job->fd);
        job->done = job->failed = true;
    }
    p.queue.clear();
    p.work.notify_all();
    // A reader in the middle of a folder finishes it first; one stuck on a slow share is left
    // to the end of the process, touching only what it owns.
    p.finished.wait_for(lock, std::chrono::milliseconds(200), [&] { return p.threads == 0; });
}

uint64_t UsedCount()
{
    return P().used;
}

void NoteUsed()
{
    ++P().used;
}

} // namespace FolderPrefetch
} // namespace fw
