// Walks over large, deep and locked trees: the cases a quick look at a folder never meets.
#include "FolderTreeSupport.h"

#include "framework/files/FolderItem.h"
#include "framework/files/FolderPrefetch.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using fw::FolderItem;
using fw::Ref;
using folder_tree::ItemNamed;
using folder_tree::OpenDescriptorCount;
using folder_tree::TempTree;
using Kind = FolderItem::Kind;

namespace {

// Makes a chain of nested folders with the given names below root, with pic.jpg at the
// bottom. Each folder is made relative to the one above: the whole path may be too long for
// any call that takes a path.
std::string MakeChain(const std::string& root, int depth, const std::string& (*nameAt)(int))
{
    std::string path = root;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        const std::string& name = nameAt(i);
        EXPECT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        path += "/" + name;
    }
    EXPECT_GE(fd, 0);
    int file = ::openat(fd, "pic.jpg", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    EXPECT_GE(file, 0);
    ::close(file);
    ::close(fd);
    return path + "/pic.jpg";
}

const std::string& LongName(int i)
{
    static std::string names[40];
    std::string& name = names[i % 40];
    if (name.empty())
        name = std::string(120, char('a' + i % 26)) + std::to_string(i);
    return name;
}

const std::string& ShortName(int i)
{
    static const std::string name = "d";
    return name;
}

Ref<FolderItem> FindByName(const Ref<FolderItem>& top, std::string_view name)
{
    Ref<FolderItem> found;
    folder_tree::Walk(top, [&](const Ref<FolderItem>& item) {
        if (item->Name().view() == name)
            found = item;
    });
    return found;
}

} // namespace

TEST(FolderItemLongPaths, PathBeyondTheSystemLimitIsWalked)
{
    TempTree tree;
    std::string expected = MakeChain(tree.Root(), 40, LongName);
    ASSERT_GT(expected.size(), size_t(PATH_MAX));
    Ref<FolderItem> deepest = FindByName(FolderItem::FromPath(tree.Root()), "pic.jpg");
    ASSERT_FALSE(deepest.IsNil());
    EXPECT_EQ(deepest->AbsolutePath().view(), expected);
    EXPECT_GT(deepest->AbsolutePath().size(), size_t(PATH_MAX));
    EXPECT_TRUE(deepest->Exists());
    EXPECT_EQ(deepest->Parent()->Count(), 1);

    int fd = deepest->Parent()->OpenDirectoryFd();
    ASSERT_GE(fd, 0);
    struct stat st;
    EXPECT_EQ(::fstatat(fd, "pic.jpg", &st, 0), 0);
    ::close(fd);

    Ref<FolderItem> named = FolderItem::FromPath(expected);
    EXPECT_EQ(named->GetKind(), Kind::File);
    EXPECT_TRUE(named->Exists());
}

namespace {
// Folders read ahead for a walk that stopped are given up, but their readers may still be
// finishing the folder in hand: give them a moment before counting.
bool DescriptorsBackTo(int before)
{
    for (int i = 0; i < 500 && OpenDescriptorCount() != before; ++i)
        ::usleep(1000);
    return OpenDescriptorCount() == before;
}
} // namespace

TEST(FolderItemDescriptors, ChainDeeperThanTheCacheIsWalkedAndFreed)
{
    TempTree tree;
    int before = OpenDescriptorCount();
    std::string expected = MakeChain(tree.Root(), 300, ShortName);
    {
        Ref<FolderItem> deepest = FindByName(FolderItem::FromPath(tree.Root()), "pic.jpg");
        ASSERT_FALSE(deepest.IsNil());
        EXPECT_EQ(deepest->AbsolutePath().view(), expected);
        EXPECT_LE(OpenDescriptorCount(), before + 64 + fw::FolderPrefetch::kMaxWaiting + 6); // the cache and the read ahead
        // Every folder above is now out of the cache: asking again reopens the chain.
        EXPECT_TRUE(deepest->Exists());
        Ref<FolderItem> again = FolderItem::FromPath(expected);
        EXPECT_TRUE(again->Exists());
        EXPECT_EQ(again->Parent()->Count(), 1);
    }
    EXPECT_TRUE(DescriptorsBackTo(before));
}

TEST(FolderItemDescriptors, WalkOverThousandsOfFoldersLeavesNoneOpen)
{
    TempTree tree;
    for (int i = 0; i < 15; ++i) {
        std::string a = "f" + std::to_string(i);
        tree.Folder(a);
        for (int j = 0; j < 15; ++j) {
            std::string b = a + "/g" + std::to_string(j);
            tree.Folder(b);
            for (int k = 0; k < 15; ++k)
                tree.Folder(b + "/h" + std::to_string(k));
            tree.File(b + "/h0/pic.jpg");
        }
    }
    int before = OpenDescriptorCount();
    int most = before, folders = 0, pictures = 0;
    {
        std::vector<Ref<FolderItem>> listed; // rows keep their files, as the list does
        Ref<FolderItem> top = FolderItem::FromPath(tree.Root());
        folder_tree::Walk(top, [&](const Ref<FolderItem>& item) {
            if (item->Directory() && ++folders % 50 == 0)
                most = std::max(most, OpenDescriptorCount());
            if (!item->Directory()) {
                ++pictures;
                listed.push_back(item);
            }
        });
        EXPECT_EQ(listed.back()->AbsolutePath(), tree.Path("f14/g14/h0/pic.jpg"));
    }
    EXPECT_EQ(folders, 15 + 15 * 15 + 15 * 15 * 15);
    EXPECT_EQ(pictures, 15 * 15);
    // At most the cache's 64 folders, plus one each for the folders that may be waiting,
    // read ahead, for the walk to reach them.
    EXPECT_LE(most, before + 64 + fw::FolderPrefetch::kMaxWaiting + 6);
    EXPECT_TRUE(DescriptorsBackTo(before));
}

namespace {

struct LockedCounts {
    int uid = -1;
    int locked = -1;
    int open = -1;
    int lockedIsFolder = -1;
};

// In a child process that has become the unprivileged user: root reads through permission
// bits, so only another user meets a folder it may not read.
LockedCounts CountAsNobody(const std::string& root)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        LockedCounts c;
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
            c.uid = int(::getuid());
            Ref<FolderItem> top = FolderItem::FromPath(root);
            c.locked = ItemNamed(top, "locked")->Count();
            c.open = ItemNamed(top, "open")->Count();
            c.lockedIsFolder = ItemNamed(top, "locked")->Directory();
        }
        ssize_t written = ::write(fds[1], &c, sizeof c);
        ::_exit(written == sizeof c ? 0 : 1);
    }
    ::close(fds[1]);
    LockedCounts c;
    ssize_t got = ::read(fds[0], &c, sizeof c);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(got, ssize_t(sizeof c));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return c;
}

} // namespace

TEST(FolderItemPermissions, FolderOthersMayNotReadIsEmpty)
{
    TempTree tree;
    tree.Folder("open");
    tree.File("open/pic.jpg");
    tree.Folder("locked");
    tree.File("locked/one.jpg");
    tree.File("locked/two.jpg");
    ASSERT_EQ(::chmod(tree.Path("locked").c_str(), 0), 0);

    if (::geteuid() == 0) {
        // Root reads it all the same, so the child below is what makes the test real.
        Ref<FolderItem> asRoot = FolderItem::FromPath(tree.Path("locked"));
        EXPECT_EQ(asRoot->Count(), 2);
        LockedCounts c = CountAsNobody(tree.Root());
        ASSERT_EQ(c.uid, 65534) << "could not become the unprivileged user";
        EXPECT_EQ(c.locked, 0);
        EXPECT_EQ(c.open, 1);
        EXPECT_EQ(c.lockedIsFolder, 1);
    } else {
        Ref<FolderItem> locked = FolderItem::FromPath(tree.Path("locked"));
        EXPECT_TRUE(locked->Directory());
        EXPECT_EQ(locked->Count(), 0);
    }
}
