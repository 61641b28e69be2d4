// The thread that waits on the disk for the export: the window's event loop goes on turning while
// it waits, and its calls keep their order.
#include "framework/files/SyncThread.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include <unistd.h>

using fw::SyncThread;

TEST(SyncThread, TheEventLoopTurnsWhileASlowCallIsAwaited)
{
    int argc = 1;
    char name[] = "sync-thread-test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    int turns = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++turns; });
    timer.start();
    SyncThread sync;
    int result = sync.Await([] {
        ::usleep(200'000); // a disk that takes its time
        return 28;
    });
    EXPECT_EQ(result, 28);
    EXPECT_GT(turns, 0);
}

TEST(SyncThread, CallsRunInTheirOrderAndAStopDropsThoseNotBegun)
{
    SyncThread sync;
    std::string order; // only the sync thread writes it until Await returns
    std::atomic<bool> release{false};
    sync.Post([&] {
        while (!release)
            ::usleep(1000);
        order += "a";
    });
    sync.Post([&] { order += "b"; });
    release = true;
    EXPECT_EQ(sync.Await([&] {
        order += "c";
        return 0;
    }), 0);
    EXPECT_EQ(order, "abc");

    release = false;
    sync.Post([&] {
        while (!release)
            ::usleep(1000);
        order += "d";
    });
    sync.Post([&] { order += "never"; });
    ::usleep(20'000); // the first call is under way
    std::thread releaser([&] {
        ::usleep(20'000);
        release = true;
    });
    sync.Stop(); // waits for "d", drops the other
    releaser.join();
    EXPECT_EQ(order, "abcd");
    // Stopped, it starts afresh when asked again.
    EXPECT_EQ(sync.Await([] { return 5; }), 5);
}
