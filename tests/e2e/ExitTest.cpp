// Every way out of the real program: the File menu, its shortcut, the window system's close
// request and the signals a session or a terminal sends. Each ends the run with status 0 and
// leaves nothing on standard error that a crash or a sanitizer would write.
#include "Desktop.h"
#include "Files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <memory>

using namespace e2e;

namespace {

// A run with a small list on show, ready to be ended.
class ExitFrom : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(x_.Display().empty());
        files::Make(work_, {"tree/a.png", "tree/b/c.jpg", "tree/b/d/e/f/g.gif"});
        program_ = std::make_unique<Program>(x_);
        ASSERT_FALSE(program_->MainWindow().empty());
        program_->StartScan(work_ + "/tree");
        program_->WaitIdle();
    }

    XServer x_;
    files::TempFolder folder_{"zorlin-e2e-exit"};
    const std::string& work_ = folder_.Path();
    std::unique_ptr<Program> program_;
};

} // namespace

TEST_F(ExitFrom, TheFileMenusQuitItem)
{
    Clock::time_point asked = program_->QuitFromMenu();
    ExpectCleanExit(*program_, asked);
}

TEST_F(ExitFrom, CtrlQ)
{
    Clock::time_point asked = program_->Keys("ctrl+q");
    ExpectCleanExit(*program_, asked);
}

TEST_F(ExitFrom, TheWindowSystemsCloseRequest)
{
    Clock::time_point asked = Clock::now();
    x_.RequestClose(program_->MainWindow());
    ExpectCleanExit(*program_, asked);
}

class ExitOnSignal : public ExitFrom, public ::testing::WithParamInterface<int> {};

TEST_P(ExitOnSignal, AsFromQuit)
{
    Clock::time_point asked = Clock::now();
    program_->Proc().Signal(GetParam());
    ExpectCleanExit(*program_, asked);
}

INSTANTIATE_TEST_SUITE_P(TermIntHup, ExitOnSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

TEST_F(ExitFrom, SigtermWhileADialogIsOpen)
{
    program_->Click(kExportButton);
    ASSERT_FALSE(program_->WaitForWindow("Export the list").empty());
    Clock::time_point asked = Clock::now();
    program_->Proc().Signal(SIGTERM);
    ExpectCleanExit(*program_, asked);
    EXPECT_EQ(files::FolderNames(work_), std::vector<std::string>{"tree"});
}
