// The walk of a scan, step by step: which calls it makes in which order, on an ordinary tree and
// on one nested far deeper than a walk that calls itself per level could go.
#include "ProgramHarness.h"
#include "TreeBuilder.h"
#include "core/FolderTreeSupport.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using harness::RunProgram;
using tree_builder::ExpectedRow;
using tree_builder::ListedRows;
using tree_builder::Row;
using tree_builder::Scan;
using tree_builder::Tree;

namespace {

std::vector<std::string> gLog;
bool gRecording = false;

// Records the walk's calls: each file handed on and each turn of the event loop.
class RecordingWindow : public Window1 {
public:
    void ParseFolder(const Ref<FolderItem>& item, const Ref<fw::Window>& window, bool& flag) override
    {
        gRecording = true;
        Window1::ParseFolder(item, window, flag);
        gRecording = false;
    }
    void AddFileToList(const Ref<FolderItem>& file) override
    {
        if (gRecording) {
            gLog.push_back("file " + file->Name().str());
        }
        Window1::AddFileToList(file);
    }
};

#if defined(__SANITIZE_ADDRESS__)
constexpr int kDepth = 30'000; // the sanitizer's bookkeeping makes each level many times dearer
#else
constexpr int kDepth = 100'000;
#endif

} // namespace

// Depth first, a folder walked where it stands among its siblings, the hook after every file.
TEST(ScanWalk, FilesAreHandedOnDepthFirstEachFollowedByTheHook)
{
    Tree t;
    t.Make({"a.jpg", "sub/b.jpg", "sub/deep/c.jpg", "sub/x.txt", "z.jpg"});
    harness::FactorySwap swap(Window1::Lookup(), [] { return static_cast<fw::Object*>(new RecordingWindow); });
    gLog.clear();
    auto run = RunProgram([&](Window1& w) {
        harness::TurnWhen turn([] { return true; }); // at every yield: each one shows in the log
        QTimer turns;
        turns.setInterval(0);
        QObject::connect(&turns, &QTimer::timeout, [] {
            if (gRecording && (gLog.empty() || gLog.back() != "turn"))
                gLog.push_back("turn");
        });
        turns.start();
        Scan(w, t.Root());
    });
    EXPECT_TRUE(run.messages.empty());
    const std::vector<std::string> expected = {"file a.jpg", "turn", "file b.jpg", "turn", "file c.jpg", "turn",
                                               "file x.txt", "turn", "file z.jpg", "turn"};
    EXPECT_EQ(gLog, expected);
}

// Folders nested a hundred thousand deep, with a picture at the bottom and one near the top.
TEST(ScanDeep, AChainOfAHundredThousandFoldersIsWalkedToTheBottom)
{
    Tree t(folder_tree::ParentForLargeTrees());
    int fd = ::open(t.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string bottom = t.Root();
    for (int i = 0; i < kDepth && fd >= 0; ++i) {
        ASSERT_EQ(::mkdirat(fd, "a", 0755), 0);
        int next = ::openat(fd, "a", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        bottom += "/a";
    }
    ASSERT_GE(fd, 0);
    ::close(::openat(fd, "pic.jpg", O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ::close(fd);
    t.Make({"a/z.jpg"});
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        std::vector<Row> rows = ListedRows(w);
        ASSERT_EQ(rows.size(), 2u);
        Row deepest = {"1", "pic.jpg", "a", "a", "a", bottom.substr(0, bottom.size() - 6)};
        EXPECT_TRUE(rows[0] == deepest) << rows[0].pathAbove.size() << " bytes of path";
        EXPECT_TRUE(rows[1] == ExpectedRow(2, t.Path("a/z.jpg")));
        EXPECT_EQ(w.FolderName()->Text().str(), t.Name());
        w.FileList()->DeleteAllRows(); // the last holder of the deepest file lets the chain go
    });
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(run.status, 0);
}
