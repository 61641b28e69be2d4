// Folders are read ahead of a walk on threads of their own. What the walk sees must be what
// reading each folder when the walk reaches it would give: a folder changed in between is read
// again, and a folder gone by then has no entries.
#include "FolderTreeSupport.h"
#include "framework/files/FolderPrefetch.h"

#include <gtest/gtest.h>

#include <thread>

using namespace fw;
using folder_tree::NamesOf;
using folder_tree::TempTree;

namespace {

// Folders changed only just now are never trusted from a read made ahead; let the tree age.
void LetTheTreeSettle() { std::this_thread::sleep_for(std::chrono::milliseconds(120)); }
// Gives the readers time to finish what the walk asked of them.
void LetTheReadersWork() { std::this_thread::sleep_for(std::chrono::milliseconds(60)); }

} // namespace

TEST(FolderReadAhead, ASettledTreeReadsAsItDoesFolderByFolder)
{
    TempTree tree;
    for (int i = 0; i < 40; ++i) {
        std::string f = "f" + std::to_string(i);
        tree.Folder(f);
        for (int j = 0; j < 30; ++j)
            tree.File(f + "/img" + std::to_string(j) + ".jpg");
    }
    LetTheTreeSettle();
    Ref<FolderItem> top = FolderItem::FromPath(tree.Root());
    ASSERT_EQ(top->Count(), 40);
    LetTheReadersWork();
    uint64_t used = FolderPrefetch::UsedCount();
    for (int i = 1; i <= 40; ++i) {
        Ref<FolderItem> f = top->Item(i);
        std::vector<std::string> names = NamesOf(f);
        ASSERT_EQ(names.size(), 30u) << f->Name().str();
        EXPECT_EQ(names[0], "img0.jpg");
        EXPECT_EQ(names[2], "img2.jpg"); // file-manager order, as ever
        EXPECT_EQ(f->Item(1)->Parent(), f);
    }
    EXPECT_GE(FolderPrefetch::UsedCount() - used, 30u); // the walk used what was read ahead
}

TEST(FolderReadAhead, AFolderChangedAfterItWasReadAheadIsReadAgain)
{
    TempTree tree;
    tree.Folder("a");
    tree.Folder("b");
    tree.File("b/old.jpg");
    tree.File("b/kept.jpg");
    LetTheTreeSettle();
    Ref<FolderItem> top = FolderItem::FromPath(tree.Root());
    ASSERT_EQ(top->Count(), 2); // starts reading "a" and "b" ahead
    LetTheReadersWork();
    ASSERT_EQ(::unlink(tree.Path("b/old.jpg").c_str()), 0);
    tree.File("b/new.jpg");
    uint64_t used = FolderPrefetch::UsedCount();
    EXPECT_EQ(NamesOf(top->Item(2)), (std::vector<std::string>{"kept.jpg", "new.jpg"}));
    EXPECT_EQ(FolderPrefetch::UsedCount(), used); // read again, not taken from the read ahead
    EXPECT_EQ(NamesOf(top->Item(1)).size(), 0u);
    EXPECT_EQ(FolderPrefetch::UsedCount(), used + 1); // the unchanged folder was
}

TEST(FolderReadAhead, AFolderWhoseTimeWasSetBackIsStillReadAgain)
{
    TempTree tree;
    tree.Folder("a");
    tree.Folder("b");
    tree.File("b/first.jpg");
    LetTheTreeSettle();
    struct stat before;
    ASSERT_EQ(::stat(tree.Path("b").c_str(), &before), 0);
    Ref<FolderItem> top = FolderItem::FromPath(tree.Root());
    ASSERT_EQ(top->Count(), 2);
    LetTheReadersWork();
    // A copying tool adds a file and puts the folder's modification time back.
    tree.File("b/second.jpg");
    timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.Path("b").c_str(), times, 0), 0);
    EXPECT_EQ(NamesOf(top->Item(2)), (std::vector<std::string>{"first.jpg", "second.jpg"}));
}

TEST(FolderReadAhead, AFolderRemovedAfterItWasReadAheadHasNoEntries)
{
    TempTree tree;
    tree.Folder("a");
    tree.Folder("b");
    tree.File("b/gone.jpg");
    LetTheTreeSettle();
    Ref<FolderItem> top = FolderItem::FromPath(tree.Root());
    ASSERT_EQ(top->Count(), 2);
    LetTheReadersWork();
    folder_tree::RemoveAt(AT_FDCWD, tree.Path("b").c_str());
    EXPECT_EQ(top->Item(2)->Count(), 0);
}

TEST(FolderReadAhead, AWalkGivenUpLeavesNothingOpen)
{
    TempTree tree;
    for (int i = 0; i < 100; ++i) {
        tree.Folder("f" + std::to_string(i));
        tree.Folder("f" + std::to_string(i) + "/inner");
    }
    LetTheTreeSettle();
    int before = folder_tree::OpenDescriptorCount();
    {
        Ref<FolderItem> top = FolderItem::FromPath(tree.Root());
        ASSERT_EQ(top->Count(), 100); // reads some folders ahead, then nobody walks them
    }
    for (int i = 0; i < 200 && folder_tree::OpenDescriptorCount() != before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(folder_tree::OpenDescriptorCount(), before);
}
