// At the end of the process the read-ahead readers stop: none is left reading while the
// process takes itself down, what waited to be read is closed, and a walk still reads every
// folder, on its own.
#include "FolderTreeSupport.h"
#include "framework/files/FolderPrefetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace fw;

namespace {

int ThreadCount()
{
    DIR* dir = ::opendir("/proc/self/task");
    int count = 0;
    while (const dirent* e = dir ? ::readdir(dir) : nullptr)
        if (e->d_name[0] != '.')
            ++count;
    if (dir)
        ::closedir(dir);
    return count;
}

// Waits for a count to come back to what it was; false when it has not within a bound that
// only a count that never comes back reaches.
bool BackTo(int (*count)(), int expected)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (count() != expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return count() == expected;
}

// Runs in a process of its own: stopping is for good. The checks that failed, one a line.
std::string StopsForGood()
{
    std::string failed;
    auto check = [&](bool ok, const std::string& what) {
        if (!ok)
            failed += what + "\n";
    };
    folder_tree::TempTree tree;
    for (int i = 0; i < 100; ++i) {
        std::string folder = std::to_string(i);
        tree.Folder(folder);
        tree.Folder(folder.append("/inner"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(120)); // folders only just changed are read again
    const int threads = ThreadCount(), descriptors = folder_tree::OpenDescriptorCount();
    {
        Ref<FolderItem> top = FolderItem::FromPath(tree.Root());
        check(top->Count() == 100, "the top folder lists " + std::to_string(top->Count()) + " entries, not 100");
        check(ThreadCount() > threads, "no reader started");
        FolderPrefetch::StopReading();
        check(BackTo(ThreadCount, threads), "the readers did not end: " + std::to_string(ThreadCount()) +
                                                " threads, " + std::to_string(threads) + " before");
    }
    check(BackTo(folder_tree::OpenDescriptorCount, descriptors),
          "what waited to be read was not closed: " + std::to_string(folder_tree::OpenDescriptorCount()) +
              " descriptors open, " + std::to_string(descriptors) + " before");
    Ref<FolderItem> again = FolderItem::FromPath(tree.Root());
    check(again->Count() == 100 && again->Item(1)->Count() == 1, "a walk after the stop misses entries");
    check(ThreadCount() == threads, "a reader was started again for the walk after the stop");
    return failed;
}

} // namespace

TEST(FolderReadAheadAtExit, StoppingEndsTheReadersClosesWhatWaitedAndWalksGoOnWithout)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // What failed goes to the child's standard error, which the failure shows.
    EXPECT_EXIT(
        {
            const std::string failed = StopsForGood();
            std::fputs(failed.c_str(), stderr);
            std::_Exit(failed.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
