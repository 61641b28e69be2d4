#include "SyncThread.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>

namespace fw {
namespace {

// How long the waiting thread leaves the event loop alone between turns.
constexpr auto kTurnEvery = std::chrono::milliseconds(10);

bool OnEventLoopThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

bool SyncThread::Start()
{
    if (thread_.joinable())
        return true;
    try {
        stopping_ = false;
        thread_ = std::thread([this] { Loop(); });
        return true;
    } catch (...) {
        return false; // no thread to be had: the caller does the work itself
    }
}

void SyncThread::Loop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return; // stopping, with nothing left to do
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        job();
        lock.lock();
        busy_ = false;
        idle_.notify_all();
    }
}

void SyncThread::Post(std::function<void()> job)
{
    std::lock_guard lock(mutex_);
    if (!Start())
        return;
    try {
        jobs_.push_back(std::move(job));
    } catch (...) {
        return; // out of memory: the hint is not given
    }
    work_.notify_one();
}

int SyncThread::Await(const std::function<int()>& job)
{
    int result = 0;
    bool done = false;
    {
        std::lock_guard lock(mutex_);
        bool queued = false;
        if (Start()) {
            try {
                jobs_.push_back([&] {
                    int r = job();
                    std::lock_guard inner(mutex_);
                    result = r;
                    done = true;
                });
                queued = true;
            } catch (...) {
            }
        }
        if (!queued)
            return job();
        work_.notify_one();
    }
    bool turn = OnEventLoopThread();
    std::unique_lock lock(mutex_);
    while (!done) {
        idle_.wait_for(lock, kTurnEvery, [&] { return done; });
        if (done || !turn)
            continue;
        lock.unlock();
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(kTurnEvery.count()));
        lock.lock();
    }
    return result;
}

void SyncThread::Stop()
{
    {
        std::unique_lock lock(mutex_);
        if (!thread_.joinable())
            return;
        jobs_.clear();
        stopping_ = true;
        work_.notify_one();
    }
    thread_.join();
}

} // namespace fw
