#pragma once
// A thread of its own for the calls that wait on the disk (starting a file's writeback, fsync),
// so that the window keeps answering while a large file goes to disk. Only TextOutputStream
// uses this.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace fw {

class SyncThread {
public:
    SyncThread() = default;
    ~SyncThread() { Stop(); }
    SyncThread(const SyncThread&) = delete;
    SyncThread& operator=(const SyncThread&) = delete;

    // Queues a call whose result nobody waits for, such as a hint to start writing. Dropped
    // when no thread can be had: such calls only ever speed things up.
    void Post(std::function<void()> job);
    // Runs the call after those queued and gives its result. The calling thread turns the event
    // loop while it waits, when it is the loop's thread; without a thread it runs the call itself.
    int Await(const std::function<int()>& job);
    // Drops the calls not yet begun and waits for the one under way: the descriptors they use
    // may be closed afterwards.
    void Stop();

private:
    bool Start();
    void Loop();

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace fw
