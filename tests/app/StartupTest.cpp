// The run from the entry routine to Quit: its phases in order, the ways to quit, shut-down's
// exit hooks, the exit status, and what happens when start-up fails.
#include "ProgramHarness.h"
#include "app/App.h"
#include "app/MenuBar1.h"
#include "app/Module1.h"
#include "framework/ui/Application.h"
#include "framework/ui/Framework.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

#include <algorithm>

using namespace fw;
using harness::RunProgram;

namespace {

const std::vector<std::string> kExitHooks = {
    "mImplicitWindowList.Exit",
    "WindowSupport.mDirtyWindows.Exit",
    "WindowSupport.Windows.Exit",
    "Introspection.ArrayInfo.mArrayMap.Exit",
    "Introspection.ClassInfo.sClassRefMap.Exit",
    "Introspection.ClassInfo.sClassFQNToRefMap.Exit",
    "MenuBar1.implicitInstance.Exit",
    "Module1.gHintStrg.Exit",
};

size_t Position(const std::vector<std::string>& trace, const std::string& step)
{
    auto it = std::find(trace.begin(), trace.end(), step);
    EXPECT_NE(it, trace.end()) << "missing step " << step;
    return it - trace.begin();
}

void ExpectShutDownInOrder(const std::vector<std::string>& trace)
{
    size_t at = Position(trace, "finalize");
    for (const std::string& hook : kExitHooks) {
        size_t next = Position(trace, hook);
        EXPECT_GT(next, at) << hook;
        at = next;
    }
    EXPECT_GT(Position(trace, "RuntimeExit"), at);
}

QAction* MenuAction(Window1& w, const char* menu, const char* item)
{
    auto* bar = static_cast<fw::WindowHost*>(w.Host())->Bar();
    for (QAction* top : bar->actions())
        if (top->menu() && top->menu()->objectName() == menu)
            for (QAction* a : top->menu()->actions())
                if (a->objectName() == item)
                    return a;
    return nullptr;
}

// A menu bar whose Edit menu cannot be built.
class BrokenMenuBar : public MenuBar1 {
public:
    void Untitled1() override { throw NilObjectException("The Edit menu could not be built."); }
};

} // namespace

TEST(Startup, PhasesRunInOrderAndQuitFromTheFileMenuEndsTheLoop)
{
    bool windowSeen = false;
    auto run = RunProgram([&](Window1& w) {
        windowSeen = true;
        QAction* quit = MenuAction(w, "FileMenu", "FileQuit");
        ASSERT_NE(quit, nullptr);
        quit->trigger();
        EXPECT_TRUE(RuntimeQuitting());
    });
    EXPECT_TRUE(windowSeen);
    const auto& t = run.trace;
    EXPECT_LT(Position(t, "RuntimeInit"), Position(t, "initialize"));
    EXPECT_LT(Position(t, "initialize"), Position(t, "Main"));
    EXPECT_LT(Position(t, "Main"), Position(t, "RuntimeInitExternalClasses"));
    EXPECT_LT(Position(t, "RuntimeInitExternalClasses"), Position(t, "RuntimeRun"));
    EXPECT_LT(Position(t, "RuntimeRun"), Position(t, "RuntimeRun returned"));
    EXPECT_LT(Position(t, "RuntimeRun returned"), Position(t, "finalize"));
    ExpectShutDownInOrder(t);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.status, fw::testing::LastExitStatus());
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(RuntimePluginEntrypointCount(), 0);
}

TEST(Startup, TheQuitShortcutEndsTheLoop)
{
    auto run = RunProgram([&](Window1& w) {
        QTest::keyClick(w.Host(), Qt::Key_Q, Qt::ControlModifier);
        EXPECT_TRUE(RuntimeQuitting());
    });
    EXPECT_NE(std::find(run.trace.begin(), run.trace.end(), "RuntimeRun returned"), run.trace.end());
    ExpectShutDownInOrder(run.trace);
}

TEST(Startup, ClosingTheWindowEndsTheProgram)
{
    auto run = RunProgram([&](Window1& w) {
        w.Host()->close();
        EXPECT_TRUE(RuntimeQuitting());
    });
    ExpectShutDownInOrder(run.trace);
    EXPECT_EQ(run.status, 0);
}

TEST(Startup, ShutDownReleasesTheWindowTheBarAndTheHint)
{
    RunProgram([&](Window1&) { Module1::gHintStrg = "123456"; });
    EXPECT_FALSE(GetImplicitWindow("Window1.Window1"));
    EXPECT_TRUE(WindowSupport::Windows().empty());
    EXPECT_FALSE(MenuBar1::HasImplicitInstance());
    EXPECT_TRUE(Module1::gHintStrg.empty());
}

TEST(StartupFailure, AFailedMenuBarMakesNoWindowAndEntersNoLoop)
{
    harness::FactorySwap swap(MenuBar1::Lookup(), [] { return static_cast<Object*>(new BrokenMenuBar); });
    bool during = false;
    auto run = RunProgram([&](Window1&) { during = true; });
    EXPECT_FALSE(during);
    EXPECT_EQ(std::count(run.trace.begin(), run.trace.end(), "UnhandledException"), 1);
    EXPECT_EQ(std::count(run.trace.begin(), run.trace.end(), "RuntimeRun"), 0);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].text, "The Edit menu could not be built.");
    EXPECT_TRUE(WindowSupport::Windows().empty());
    EXPECT_FALSE(MenuBar1::HasImplicitInstance());
    ExpectShutDownInOrder(run.trace);
    EXPECT_EQ(run.status, fw::testing::LastExitStatus());
    EXPECT_NE(run.status, 0);
}

TEST(StartupFailure, AnExceptionThatEscapesTheLoopIsHandledOnceAndShutDownRuns)
{
    fw::testing::SetLoopOverride([] { throw IOException("The disk went away."); });
    auto run = RunProgram(nullptr);
    EXPECT_EQ(std::count(run.trace.begin(), run.trace.end(), "UnhandledException"), 1);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].title, "File error");
    EXPECT_EQ(run.messages[0].text, "The disk went away.");
    ExpectShutDownInOrder(run.trace);
    EXPECT_EQ(run.status, fw::testing::LastExitStatus());
}

TEST(ClassTables, LookupBuildsATableOnceAndCastsTestTheClass)
{
    RunProgram(nullptr);
    int before = RuntimeClassTableCount();
    ClassTable* app = App::Lookup();
    App::ctblinit();
    EXPECT_EQ(App::Lookup(), app);
    EXPECT_EQ(Window1::Lookup(), Window1::Lookup());
    EXPECT_EQ(RuntimeClassTableCount(), before);
    EXPECT_EQ(app->name, "App");
    EXPECT_EQ(app->parent, Application::Lookup());
    EXPECT_EQ(Window1::Lookup()->name, "Window1.Window1");
    EXPECT_EQ(MenuBar1::Lookup()->name, "MenuBar1.MenuBar1");
    EXPECT_TRUE(MenuBar1::Lookup()->IsA(MenuItem::Lookup()));

    Ref<Object> bar = RuntimeNewObject(MenuBar::Lookup());
    EXPECT_THROW(RuntimeCheckCast(bar, Window1::Lookup()), IllegalCastException);
    EXPECT_EQ(RuntimeCheckCast(bar, MenuItem::Lookup()), bar);
}

namespace {

// Notes which of its event handlers ran, and does nothing else.
class NotingWindow1 : public Window1 {
public:
    std::vector<std::string> ran;
    void Layout() override { ran.push_back("Layout"); }
    void CreateControls() override { ran.push_back("CreateControls"); }
    void AddMenuHandlers(fw::Window&) override { ran.push_back("AddMenuHandlers"); }
    void Event_Open() override { ran.push_back("Event_Open"); }
    void Event_Resized() override { ran.push_back("Event_Resized"); }
    void Event_Resizing() override { ran.push_back("Event_Resizing"); }
};

class NotingApp : public App {
public:
    std::vector<std::string> ran;
    void Event_Open() override { ran.push_back("Event_Open"); }
};

} // namespace

// The framework raises the classes' events by name: each name reaches its own handler, and
// the events the classes leave to the framework reach none.
TEST(ClassTables, EachEventRaisedByNameReachesItsHandler)
{
    const std::pair<const char*, const char*> kWindowEvents[] = {
        {"Layout", "Layout"}, {"CreateControls", "CreateControls"}, {"AddMenuHandlers", "AddMenuHandlers"},
        {"Open", "Event_Open"}, {"Resized", "Event_Resized"}, {"Resizing", "Event_Resizing"}};
    for (const auto& [event, handler] : kWindowEvents) {
        Ref<NotingWindow1> w = MakeRef<NotingWindow1>();
        EXPECT_TRUE(RaiseEvent(*w, event)) << event;
        EXPECT_EQ(w->ran, std::vector<std::string>{handler}) << event;
    }
    Ref<NotingWindow1> w = MakeRef<NotingWindow1>();
    for (const char* unbound : {"Close", "Activate", "Paint"})
        EXPECT_FALSE(RaiseEvent(*w, unbound)) << unbound;
    EXPECT_TRUE(w->ran.empty());

    Ref<NotingApp> app = MakeRef<NotingApp>();
    EXPECT_TRUE(RaiseEvent(*app, "Open"));
    EXPECT_FALSE(RaiseEvent(*app, "Close"));
    EXPECT_EQ(app->ran, std::vector<std::string>{"Event_Open"});
}
