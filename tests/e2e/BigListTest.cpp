// Ways out with a large list: on show, in the middle of its export, in the middle of its scan.
// The exit is clean in each, and an export cut short leaves no temporary file and the earlier
// export of the same name byte for byte as it was.
#include "Desktop.h"
#include "Files.h"
#include "OpenHold.h"
#include "TreeMaker.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include <sys/stat.h>

using namespace e2e;

namespace {

// Made fresh for each test: CI runs the tests side by side, each in a process of its own.
// A million rows is the benchmarks' business; this is as large as the tests' time allows.
constexpr int64_t kEntries = 150'000, kImages = 120'000;

class BigList : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(x_.Display().empty());
        ::mkdir(tree_.c_str(), 0755);
        counts_ = bench::MakeTree(tree_, kEntries, kImages, 1000, 7);
        program_ = std::make_unique<Program>(x_);
        ASSERT_FALSE(program_->MainWindow().empty());
    }

    void StartScan() { program_->StartScan(tree_); }

    XServer x_;
    files::TempFolder folder_{"zorlin-e2e-big"};
    const std::string& work_ = folder_.Path();
    std::string tree_ = work_ + "/tree";
    bench::TreeCounts counts_;
    std::unique_ptr<Program> program_;
};

} // namespace

TEST_F(BigList, QuitWithTheListOnShowIsPrompt)
{
    StartScan();
    program_->WaitIdle();
    Clock::time_point asked = program_->Keys("ctrl+q");
    ExpectCleanExit(*program_, asked);
}

// Asked to end in the middle of the walk: from the keyboard, by the window system, by a signal.
class BigListScan : public BigList, public ::testing::WithParamInterface<const char*> {};

TEST_P(BigListScan, AQuitMidWalkEndsIt)
{
    long long before = program_->Proc().CpuTicks();
    StartScan();
    program_->WaitBusy(before);
    std::string way = GetParam();
    Clock::time_point asked = Clock::now();
    if (way == "CtrlQ")
        asked = program_->Keys("ctrl+q");
    else if (way == "CloseRequest")
        x_.RequestClose(program_->MainWindow());
    else
        program_->Proc().Signal(SIGTERM);
    ExpectCleanExit(*program_, asked);
}

INSTANTIATE_TEST_SUITE_P(Ways, BigListScan, ::testing::Values("CtrlQ", "CloseRequest", "Sigterm"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST_F(BigList, SigtermDuringAnExportKeepsTheEarlierFile)
{
    StartScan();
    program_->WaitIdle();
    const std::string target = work_ + "/list.txt";
    program_->StartExport(target);
    program_->WaitForFile(target);
    const std::string earlier = files::ReadText(target);
    ASSERT_EQ(files::Lines(earlier).size(), size_t(counts_.images + 1));

    // The same export again, over the earlier file: the signal comes while the program makes
    // its temporary file beside the target, held there, so that the export's first yield finds
    // the order waiting.
    program_->Click(kNameHeading);
    OpenHold hold(work_, ".list.txt.");
    ASSERT_TRUE(hold.Watching()) << "file opens cannot be watched here: " << std::strerror(errno);
    program_->StartExport(target, Replace::Yes);
    ASSERT_TRUE(hold.WaitHeld(milliseconds(60000))) << "no temporary file was made";
    EXPECT_EQ(files::FolderNames(work_).size(), 3u);
    program_->Proc().Signal(SIGTERM);
    Clock::time_point asked = Clock::now();
    hold.Release();
    ExpectCleanExit(*program_, asked);
    EXPECT_EQ(files::FolderNames(work_), (std::vector<std::string>{"list.txt", "tree"}));
    EXPECT_TRUE(files::ReadText(target) == earlier) << "the earlier export was changed";
}
