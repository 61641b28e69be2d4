#include "FolderTreeSupport.h"

#include "framework/files/FolderItem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using fw::FolderItem;
using fw::Ref;
using folder_tree::ItemNamed;
using folder_tree::NamesOf;
using folder_tree::TempTree;
using ::testing::ElementsAre;
using Kind = FolderItem::Kind;

TEST(FolderItemNodes, EntriesInNaturalOrderIgnoringCase)
{
    TempTree tree;
    for (const char* name : {"a10.jpg", "b9.jpg", "a2.jpg", "B1.jpg", "a1.jpg", "b10.jpg"})
        tree.File(name);
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    EXPECT_THAT(NamesOf(folder), ElementsAre("a1.jpg", "a2.jpg", "a10.jpg", "B1.jpg", "b9.jpg", "b10.jpg"));
}

TEST(FolderItemNodes, ItemIsOneNodeAndOutsideTheRangeNil)
{
    TempTree tree;
    tree.File("one.jpg");
    tree.File("two.jpg");
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    ASSERT_EQ(folder->Count(), 2);
    Ref<FolderItem> first = folder->Item(1);
    EXPECT_EQ(folder->Item(1).Get(), first.Get());
    EXPECT_TRUE(folder->Item(0).IsNil());
    EXPECT_TRUE(folder->Item(3).IsNil());
    EXPECT_TRUE(folder->Item(-1).IsNil());
    EXPECT_TRUE(first->Item(1).IsNil()); // a file has no items
    EXPECT_EQ(first->Count(), 0);
}

TEST(FolderItemNodes, SiblingsShareOneParentNode)
{
    TempTree tree;
    tree.Folder("photos");
    tree.File("photos/a.jpg");
    tree.File("photos/b.jpg");
    Ref<FolderItem> root = FolderItem::FromPath(tree.Root());
    Ref<FolderItem> photos = root->Item(1);
    ASSERT_EQ(photos->Count(), 2);
    Ref<FolderItem> a = photos->Item(1), b = photos->Item(2);
    EXPECT_EQ(a->Parent().Get(), photos.Get());
    EXPECT_EQ(a->Parent().Get(), b->Parent().Get());
    EXPECT_EQ(photos->Parent().Get(), root.Get());
}

TEST(FolderItemNodes, HeldItemsKeepTheirFolderAndLetItGo)
{
    TempTree tree;
    tree.Folder("photos");
    tree.File("photos/a.jpg");
    Ref<FolderItem> file;
    {
        Ref<FolderItem> photos = FolderItem::FromPath(tree.Path("photos"));
        int32_t alone = photos->RefCount();
        file = photos->Item(1);
        EXPECT_EQ(photos->RefCount(), alone + 1); // the file holds its folder
    }
    // Only the file holds the chain now, and it still knows where it is.
    EXPECT_EQ(file->Parent()->RefCount(), 2);
    EXPECT_EQ(file->AbsolutePath(), tree.Path("photos/a.jpg"));
    EXPECT_EQ(file->Parent()->Parent()->AbsolutePath(), tree.Root());
}

TEST(FolderItemNodes, FromPathBuildsEveryFolderAbove)
{
    TempTree tree;
    tree.Folder("x");
    tree.Folder("x/y");
    Ref<FolderItem> y = FolderItem::FromPath(tree.Path("x/y"));
    EXPECT_EQ(y->Name(), "y");
    EXPECT_EQ(y->GetKind(), Kind::Folder);
    EXPECT_EQ(y->Parent()->Name(), "x");
    Ref<FolderItem> top = y;
    while (top->Parent())
        top = top->Parent();
    EXPECT_EQ(top->Name(), "/");
    EXPECT_EQ(top->GetKind(), Kind::Folder);
    EXPECT_TRUE(FolderItem::FromPath("relative/path").IsNil());
    EXPECT_TRUE(FolderItem::FromPath("").IsNil());
}

TEST(FolderItemPaths, RootIsASlash)
{
    Ref<FolderItem> root = FolderItem::FromPath("/");
    EXPECT_EQ(root->AbsolutePath(), "/");
    EXPECT_EQ(root->Name(), "/");
    EXPECT_TRUE(root->Parent().IsNil());
    EXPECT_TRUE(root->Directory());
    EXPECT_TRUE(root->Exists());
    EXPECT_GT(root->Count(), 0);
}

TEST(FolderItemPaths, NestedPathsHaveNoTrailingSlash)
{
    TempTree tree;
    tree.Folder("x");
    tree.Folder("x/y");
    tree.File("x/y/f.jpg");
    EXPECT_EQ(FolderItem::FromPath(tree.Path("x/y/"))->AbsolutePath(), tree.Path("x/y"));
    EXPECT_EQ(FolderItem::FromPath("/" + tree.Path("x//./y/f.jpg"))->AbsolutePath(), tree.Path("x/y/f.jpg"));
    EXPECT_EQ(FolderItem::FromPath(tree.Path("x/y/../y"))->AbsolutePath(), tree.Path("x/y"));
    Ref<FolderItem> x = FolderItem::FromPath(tree.Path("x"));
    Ref<FolderItem> f = x->Item(1)->Item(1);
    EXPECT_EQ(f->AbsolutePath(), tree.Path("x/y/f.jpg"));
    EXPECT_EQ(x->Item(1)->AbsolutePath(), tree.Path("x/y"));
}

TEST(FolderItemPaths, FolderPathIsSharedNotCopied)
{
    TempTree tree;
    tree.Folder("a-folder-with-a-long-name");
    tree.File("a-folder-with-a-long-name/1.jpg");
    tree.File("a-folder-with-a-long-name/2.jpg");
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Path("a-folder-with-a-long-name"));
    fw::String first = folder->AbsolutePath();
    EXPECT_TRUE(first.SharesBufferWith(folder->AbsolutePath()));
    // Rows of one folder share its path through their common parent.
    fw::String viaOne = folder->Item(1)->Parent()->AbsolutePath();
    fw::String viaTwo = folder->Item(2)->Parent()->AbsolutePath();
    EXPECT_TRUE(viaOne.SharesBufferWith(viaTwo));
    EXPECT_TRUE(viaOne.SharesBufferWith(first));
}

TEST(FolderItemPaths, MissingFileIsNamedButAbsent)
{
    TempTree tree;
    Ref<FolderItem> missing = FolderItem::FromPath(tree.Path("not-there.jpg"));
    ASSERT_FALSE(missing.IsNil());
    EXPECT_EQ(missing->GetKind(), Kind::Missing);
    EXPECT_FALSE(missing->Exists());
    EXPECT_FALSE(missing->Directory());
    EXPECT_EQ(missing->Count(), 0);
    EXPECT_EQ(missing->AbsolutePath(), tree.Path("not-there.jpg"));
    EXPECT_EQ(missing->Parent()->GetKind(), Kind::Folder);
    EXPECT_EQ(missing->OpenDirectoryFd(), -1);

    Ref<FolderItem> deeper = FolderItem::FromPath(tree.Path("nope/deeper.jpg"));
    EXPECT_EQ(deeper->GetKind(), Kind::Missing);
    EXPECT_EQ(deeper->Parent()->GetKind(), Kind::Missing);
    EXPECT_FALSE(deeper->Exists());

    tree.File("not-there.jpg");
    EXPECT_TRUE(missing->Exists()); // asks again
}

TEST(FolderItemNames, DotNamesAreInvisible)
{
    TempTree tree;
    tree.File(".hidden.jpg");
    tree.Folder(".hidden-folder");
    tree.File(".hidden-folder/inside.jpg");
    tree.File("shown.jpg");
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    Ref<FolderItem> hiddenFile = ItemNamed(folder, ".hidden.jpg");
    Ref<FolderItem> hiddenFolder = ItemNamed(folder, ".hidden-folder");
    ASSERT_FALSE(hiddenFile.IsNil());
    ASSERT_FALSE(hiddenFolder.IsNil());
    EXPECT_FALSE(hiddenFile->Visible());
    EXPECT_FALSE(hiddenFolder->Visible());
    EXPECT_TRUE(hiddenFolder->Directory());
    EXPECT_EQ(hiddenFolder->Count(), 1); // the walk, not the node, decides to skip it
    EXPECT_TRUE(ItemNamed(folder, "shown.jpg")->Visible());
    EXPECT_TRUE(FolderItem::FromPath("/")->Visible());
}

TEST(FolderItemNames, BytesThatAreNotUtf8StayExact)
{
    TempTree tree;
    const std::vector<std::string> names = {"caf\xe9.jpg", "\xff\xfe.png", "\xc3\x28x.jpg", "ok-\xc3\xa9t\xc3\xa9.jpg"};
    for (const std::string& name : names)
        tree.File(name);
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    ASSERT_EQ(folder->Count(), 4);
    for (const std::string& name : names) {
        Ref<FolderItem> item = ItemNamed(folder, name);
        ASSERT_FALSE(item.IsNil()) << "lost a name";
        EXPECT_EQ(item->Name().view(), name);
        EXPECT_EQ(item->AbsolutePath().view(), tree.Path(name));
        EXPECT_TRUE(item->Exists());
        Ref<FolderItem> again = FolderItem::FromPath(tree.Path(name));
        EXPECT_EQ(again->GetKind(), Kind::File);
    }
}

TEST(FolderItemNames, TabsAndNewlinesInNames)
{
    TempTree tree;
    tree.File("tab\there.jpg");
    tree.File("line\nbreak.jpg");
    tree.Folder("folder\twith\ntabs");
    tree.File("folder\twith\ntabs/in.jpg");
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    EXPECT_THAT(NamesOf(folder), ElementsAre("folder\twith\ntabs", "line\nbreak.jpg", "tab\there.jpg"));
    Ref<FolderItem> inner = folder->Item(1)->Item(1);
    EXPECT_EQ(inner->AbsolutePath(), tree.Path("folder\twith\ntabs/in.jpg"));
    EXPECT_TRUE(inner->Exists());
}

TEST(FolderItemLinks, LoopToAnAncestorEndsTheWalk)
{
    TempTree tree;
    tree.Folder("a");
    tree.Folder("a/b");
    tree.File("a/b/pic.jpg");
    tree.Link("../..", "a/b/up");
    Ref<FolderItem> root = FolderItem::FromPath(tree.Root());
    int seen = 0;
    folder_tree::Walk(root, [&](const Ref<FolderItem>&) { ++seen; });
    EXPECT_EQ(seen, 4); // a, b, pic.jpg, up

    Ref<FolderItem> up = ItemNamed(ItemNamed(root, "a")->Item(1), "up");
    ASSERT_FALSE(up.IsNil());
    EXPECT_EQ(up->GetKind(), Kind::LinkToFolder);
    EXPECT_TRUE(up->Directory());
    EXPECT_EQ(up->Count(), 0);
    EXPECT_TRUE(up->Item(1).IsNil());
    // A path the user names through a link is followed.
    Ref<FolderItem> through = FolderItem::FromPath(tree.Path("a/b/up/a/b/pic.jpg"));
    EXPECT_EQ(through->GetKind(), Kind::File);
    EXPECT_TRUE(through->Exists());
}

TEST(FolderItemLinks, DanglingLinkIsAFileThatExists)
{
    TempTree tree;
    tree.File("real.jpg");
    tree.Link("real.jpg", "alias.jpg");
    tree.Link("nowhere.jpg", "dangling.jpg");
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    Ref<FolderItem> dangling = ItemNamed(folder, "dangling.jpg");
    ASSERT_FALSE(dangling.IsNil());
    EXPECT_EQ(dangling->GetKind(), Kind::File);
    EXPECT_FALSE(dangling->Directory());
    EXPECT_TRUE(dangling->Exists()); // the link itself is there
    EXPECT_TRUE(dangling->Visible());
    EXPECT_EQ(ItemNamed(folder, "alias.jpg")->GetKind(), Kind::File);
    EXPECT_EQ(FolderItem::FromPath(tree.Path("dangling.jpg"))->GetKind(), Kind::File);
}

TEST(FolderItemFifos, FifoIsInvisibleAndNeverOpened)
{
    TempTree tree;
    ASSERT_EQ(::mkfifo(tree.Path("x.jpg").c_str(), 0644), 0);
    tree.File("y.jpg");
    ::alarm(20); // opening the fifo would block: end the run instead of hanging it
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    ASSERT_EQ(folder->Count(), 2);
    Ref<FolderItem> fifo = folder->Item(1);
    EXPECT_EQ(fifo->Name(), "x.jpg");
    EXPECT_EQ(fifo->GetKind(), Kind::Other);
    EXPECT_FALSE(fifo->Visible());
    EXPECT_FALSE(fifo->Directory());
    EXPECT_TRUE(fifo->Exists());
    EXPECT_EQ(fifo->Count(), 0);
    EXPECT_EQ(FolderItem::FromPath(tree.Path("x.jpg"))->GetKind(), Kind::Other);
    ::alarm(0);
}

// What a link points at decides: a link to a fifo or a device is as invisible as the fifo.
TEST(FolderItemLinks, LinkToASpecialFileIsInvisibleLikeIt)
{
    TempTree tree;
    ASSERT_EQ(::mkfifo(tree.Path("pipe").c_str(), 0644), 0);
    tree.Link("pipe", "pipe.jpg");
    tree.Link("/dev/null", "null.png");
    tree.Link("pipe.jpg", "twice.jpg"); // a link to the link
    ::alarm(20); // opening the fifo would block: end the run instead of hanging it
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    for (const char* name : {"pipe.jpg", "null.png", "twice.jpg"}) {
        Ref<FolderItem> link = ItemNamed(folder, name);
        ASSERT_FALSE(link.IsNil()) << name;
        EXPECT_EQ(link->GetKind(), Kind::Other) << name;
        EXPECT_FALSE(link->Visible()) << name;
        EXPECT_EQ(FolderItem::FromPath(tree.Path(name))->GetKind(), Kind::Other) << name;
    }
    ::alarm(0);
}

// The user's choice is followed even when it is a link (a Pictures folder on another disk);
// the links found inside are still not entered.
TEST(FolderItemLinks, AFolderChosenThroughALinkIsRead)
{
    TempTree tree;
    tree.Folder("disk");
    tree.File("disk/a.jpg");
    tree.Folder("disk/sub");
    tree.Link("..", "disk/sub/up");
    tree.Link("disk", "Pictures");
    Ref<FolderItem> chosen = FolderItem::FromPath(tree.Path("Pictures"));
    EXPECT_EQ(chosen->GetKind(), Kind::LinkToFolder);
    EXPECT_TRUE(chosen->Directory());
    EXPECT_EQ(NamesOf(chosen), (std::vector<std::string>{"a.jpg", "sub"}));
    EXPECT_EQ(chosen->Item(1)->AbsolutePath(), tree.Path("Pictures/a.jpg"));
    Ref<FolderItem> up = chosen->Item(2)->Item(1);
    EXPECT_EQ(up->GetKind(), Kind::LinkToFolder);
    EXPECT_EQ(up->Count(), 0);
    // Listed in its folder, the same link is not entered.
    EXPECT_EQ(ItemNamed(FolderItem::FromPath(tree.Root()), "Pictures")->Count(), 0);
}

TEST(FolderItemChanges, FolderDeletedAfterItsParentWasRead)
{
    TempTree tree;
    tree.Folder("gone");
    tree.File("gone/pic.jpg");
    tree.File("also-gone.jpg");
    Ref<FolderItem> folder = FolderItem::FromPath(tree.Root());
    ASSERT_EQ(folder->Count(), 2);
    folder_tree::RemoveAt(AT_FDCWD, tree.Path("gone").c_str());
    ::unlink(tree.Path("also-gone.jpg").c_str());
    Ref<FolderItem> gone = ItemNamed(folder, "gone");
    EXPECT_TRUE(gone->Directory());
    EXPECT_EQ(gone->Count(), 0);
    EXPECT_TRUE(gone->Item(1).IsNil());
    EXPECT_FALSE(gone->Exists());
    EXPECT_EQ(gone->OpenDirectoryFd(), -1);
    EXPECT_FALSE(ItemNamed(folder, "also-gone.jpg")->Exists());
    EXPECT_EQ(folder->Count(), 2); // read once: the list stays as it was
}

TEST(FolderItemChanges, FolderMadeAgainUnderTheSameName)
{
    TempTree tree;
    tree.Folder("x");
    tree.Folder("x/y");
    tree.File("x/y/pic.jpg");
    Ref<FolderItem> pic = FolderItem::FromPath(tree.Path("x/y/pic.jpg"));
    ASSERT_TRUE(pic->Exists());
    folder_tree::RemoveAt(AT_FDCWD, tree.Path("x").c_str());
    EXPECT_FALSE(pic->Exists());
    tree.Folder("x");
    tree.Folder("x/y");
    tree.File("x/y/pic.jpg");
    EXPECT_TRUE(pic->Exists()); // the path counts, not the folder that was there before
}

TEST(FolderItemDescriptors, OpenDirectoryFdIsTheCallersOwn)
{
    TempTree tree;
    tree.Folder("x");
    tree.File("x/pic.jpg");
    Ref<FolderItem> x = FolderItem::FromPath(tree.Path("x"));
    int fd = x->OpenDirectoryFd();
    ASSERT_GE(fd, 0);
    struct stat st;
    EXPECT_EQ(::fstatat(fd, "pic.jpg", &st, 0), 0);
    EXPECT_EQ(::close(fd), 0);
    EXPECT_EQ(x->Count(), 1); // closing it did not take the node's own descriptor
    EXPECT_EQ(x->Item(1)->OpenDirectoryFd(), -1);
}
