// At the end of the process the read-ahead readers stop: none is left reading while the
// process takes itself down, what waited to be read is closed, and a walk still reads every
// folder, on its own.
#include "FolderTreeSupport.h"
#include "framework/files/FolderPrefetch.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

// Waits a moment for a count to come back to what it was.
bool BackTo(int (*count)(), int expected)
{
    for (int i = 0; i < 500 && count() != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return count() == expected;
}

// Runs in a process of its own: stopping is for good.
bool StopsForGood()
{
    folder_tree::TempTree tree;
    for (int i = 0; i < 100; ++i) {
        std::string folder = std::to_string(i);
        tree.Folder(folder);
        tree.Folder(folder.append("/inner"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(120)); // folders only just changed are read again
    int threads = ThreadCount(), descriptors = folder_tree::OpenDescriptorCount();
    bool ok = true;
    {
        Ref<FolderItem> top = FolderItem::FromPath(tree.Root());
        ok &= top->Count() == 100; // starts the readers, and queues the subfolders
        ok &= ThreadCount() > threads;
        FolderPrefetch::StopReading();
        ok &= BackTo(ThreadCount, threads);
    }
    ok &= BackTo(folder_tree::OpenDescriptorCount, descriptors);
    Ref<FolderItem> again = FolderItem::FromPath(tree.Root());
    ok &= again->Count() == 100 && again->Item(1)->Count() == 1;
    ok &= ThreadCount() == threads; // nothing was started for the walk
    return ok;
}

} // namespace

TEST(FolderReadAheadAtExit, StoppingEndsTheReadersClosesWhatWaitedAndWalksGoOnWithout)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(StopsForGood() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}
