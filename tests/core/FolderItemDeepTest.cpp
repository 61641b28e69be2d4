// Trees nested far deeper than any stack of calls could follow: every step over them, from the
// walk to the last node let go, must go level by level without calling itself.
#include "FolderTreeSupport.h"

#include "framework/files/FolderItem.h"
#include "framework/files/FolderPrefetch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

using fw::FolderItem;
using fw::Ref;
using folder_tree::OpenDescriptorCount;
using folder_tree::TempTree;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kDepth = 30'000; // the sanitizer's bookkeeping makes each level many times dearer
constexpr int64_t kBytesPerLevel = 8000; // and it keeps freed memory a while before reusing it
#else
constexpr int kDepth = 100'000;
constexpr int64_t kBytesPerLevel = 1500;
#endif

// kDepth folders named "a", each below the one before, with an empty sibling folder "b" at
// every level and pic.jpg at the bottom. Made relative to the folder above, as the whole path
// is far beyond what a call that takes a path accepts.
std::string MakeDeepChain(const std::string& root)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string path = root;
    path.reserve(root.size() + 2 * size_t(kDepth) + 8);
    for (int i = 0; i < kDepth && fd >= 0; ++i) {
        if (::mkdirat(fd, "a", 0755) != 0 || ::mkdirat(fd, "b", 0755) != 0) {
            ADD_FAILURE() << "mkdir at level " << i;
            break;
        }
        int next = ::openat(fd, "a", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        path += "/a";
    }
    int file = fd < 0 ? -1 : ::openat(fd, "pic.jpg", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    EXPECT_GE(file, 0);
    ::close(file);
    ::close(fd);
    return path + "/pic.jpg";
}

int64_t ResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}

struct WalkCounts {
    int folders = 0;
    int files = 0;
    int deepest = 0;
    Ref<FolderItem> picture;
};

// The program's depth-first walk over the FolderItem calls, with a stack of its own.
WalkCounts WalkWithOwnStack(const Ref<FolderItem>& top)
{
    WalkCounts counts;
    std::vector<std::pair<Ref<FolderItem>, int32_t>> stack = {{top, 1}};
    while (!stack.empty()) {
        auto& [folder, next] = stack.back();
        if (next > folder->Count()) {
            stack.pop_back();
            continue;
        }
        Ref<FolderItem> item = folder->Item(next++);
        if (item->Directory()) {
            ++counts.folders;
            stack.emplace_back(std::move(item), 1);
            counts.deepest = std::max(counts.deepest, int(stack.size()) - 1);
        } else {
            ++counts.files;
            counts.picture = item;
        }
    }
    return counts;
}

// Runs fn on a thread with a small stack: 512 KB is less than ten bytes a level, so anything
// that calls itself once per level overflows it.
void OnSmallStack(const std::function<void()>& fn)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 512 * 1024);
    pthread_t thread;
    auto run = [](void* f) -> void* {
        (*static_cast<const std::function<void()>*>(f))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&fn)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

class DeepTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tree_ = new TempTree(folder_tree::ParentForLargeTrees());
        picture_ = new std::string(MakeDeepChain(tree_->Root()));
    }
    static void TearDownTestSuite()
    {
        delete tree_;
        delete picture_;
    }
    static void WalkNameAndLetGo();
    static void ReachByPath();

    static TempTree* tree_;
    static std::string* picture_;
};

TempTree* DeepTree::tree_ = nullptr;
std::string* DeepTree::picture_ = nullptr;

} // namespace

// Coming back up, every "b" is opened in a folder whose descriptor left the cache long ago;
// the walk, the path of the deepest file and letting the nodes go all end, in memory that
// grows with the depth and not with its square.
TEST_F(DeepTree, IsWalkedNamedAndLetGoLevelByLevel)
{
    OnSmallStack([] { WalkNameAndLetGo(); });
}

TEST_F(DeepTree, ItsDeepestFileIsReachedByItsPath)
{
    OnSmallStack([] { ReachByPath(); });
}

void DeepTree::WalkNameAndLetGo()
{
    int descriptorsBefore = OpenDescriptorCount();
    int64_t residentBefore = ResidentBytes();
    Ref<FolderItem> picture;
    {
        WalkCounts counts = WalkWithOwnStack(FolderItem::FromPath(tree_->Root()));
        EXPECT_EQ(counts.folders, 2 * kDepth);
        EXPECT_EQ(counts.files, 1);
        EXPECT_EQ(counts.deepest, kDepth);
        picture = counts.picture;
    }
    ASSERT_FALSE(picture.IsNil());
    EXPECT_EQ(picture->AbsolutePath().view(), *picture_);
    EXPECT_EQ(picture->Parent()->AbsolutePath().view(), picture_->substr(0, picture_->size() - 8));
    int levels = 0;
    for (Ref<FolderItem> p = picture->Parent(); p && p->Name().view() == "a"; p = p->Parent())
        ++levels;
    EXPECT_EQ(levels, kDepth);
    // Some hundreds of bytes a level; a path kept in every folder would be gigabytes.
    int64_t grown = ResidentBytes() - residentBefore;
    EXPECT_LT(grown, kDepth * kBytesPerLevel) << grown / 1048576 << " MB for " << kDepth << " levels";
    picture = nullptr; // the whole chain goes with its last holder
    EXPECT_LE(OpenDescriptorCount(), descriptorsBefore + fw::FolderPrefetch::kMaxWaiting + 1); // read ahead still being given up
}

void DeepTree::ReachByPath()
{
    Ref<FolderItem> picture = FolderItem::FromPath(*picture_);
    ASSERT_FALSE(picture.IsNil());
    EXPECT_TRUE(picture->Exists());
    EXPECT_EQ(picture->GetKind(), FolderItem::Kind::File);
    EXPECT_EQ(picture->AbsolutePath().view(), *picture_);
    int dir = picture->Parent()->OpenDirectoryFd();
    ASSERT_GE(dir, 0);
    int fd = ::openat(dir, "pic.jpg", O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    ::close(fd);
    ::close(dir);
    EXPECT_EQ(picture->Parent()->Parent()->Count(), 2); // "a" and "b"
}
