#include "framework/runtime/Runtime.h"

#include "Application.h"
#include "SignalQuit.h"
#include "framework/files/FolderPrefetch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>

#include <ctime>
#include <typeinfo>

namespace fw {
namespace {

struct RunState {
    Ref<Application> app;
    QPointer<QEventLoop> loop;
    bool quitting = false;
    int32_t unhandled = 0;
    int32_t plugins = -1;
    std::unique_ptr<QApplication> ownApp; // when no one else made the toolkit's application
    std::function<void()> loopOverride;
    std::function<bool()> turnCondition; // replaces the clock of the background-task hook
    int32_t lastStatus = 0;
};

RunState& State()
{
    static RunState s;
    return s;
}

ExceptionReporter& Reporter()
{
    static ExceptionReporter r;
    return r;
}

void ShowMessage(const std::string& title, const std::string& message)
{
    if (Reporter()) {
        Reporter()(title, message);
        return;
    }
    if (!QApplication::instance())
        return;
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(message));
    box.exec();
}

} // namespace

void RuntimeInit()
{
    RuntimeTrace("RuntimeInit");
    RunState& s = State();
    s.quitting = false;
    s.unhandled = 0;
    s.plugins = -1;
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "zorlin-file-sorter";
        static char* argv[] = {name, nullptr};
        s.ownApp = std::make_unique<QApplication>(argc, argv);
        WatchQuitSignals();
    }
    QApplication::setApplicationName("Zorlin File Sorter");
    qApp->setQuitOnLastWindowClosed(false);
}

int32_t RuntimeExit()
{
    RuntimeTrace("RuntimeExit");
    RunState& s = State();
    s.app.Clear();
    int32_t status = s.unhandled > 0 ? 1 : 0;
    s.loopOverride = nullptr;
    s.turnCondition = nullptr;
    s.lastStatus = status;
    if (s.ownApp) {
        // The toolkit goes now, while all of it is still there: left to the end of the process,
        // it would be destroyed after parts of itself and its display plug-in were gone. The
        // windows and their widgets went with the exit hooks.
        StopWatchingQuitSignals();
        FolderPrefetch::StopReading();
        s.ownApp.reset();
    }
    return status;
}

bool RuntimeEndsTheProcess() { return State().ownApp != nullptr; }

void RuntimeInitExternalClasses() { RuntimeTrace("RuntimeInitExternalClasses"); }

void RuntimeAllocatePluginEntrypointsTable(int32_t count) { State().plugins = count; }

void InitPluginEntrypoints() { RuntimeAllocatePluginEntrypointsTable(0); }

int32_t RuntimePluginEntrypointCount() { return State().plugins; }

void RuntimeRegisterAppObject(const Ref<Application>& app) { State().app = app; }

Ref<Application> RuntimeAppObject() { return State().app; }

void RuntimeRun()
{
    RunState& s = State();
    RuntimeTrace("RuntimeRun");
    if (s.loopOverride) {
        auto body = std::move(s.loopOverride);
        s.loopOverride = nullptr;
        body();
        return;
    }
    if (s.app)
        RuntimeDispatch([&] { RaiseEvent(*s.app, "Open"); });
    if (s.quitting)
        return;
    QEventLoop loop;
    s.loop = &loop;
    loop.exec();
    s.loop = nullptr;
    RuntimeTrace("RuntimeRun returned");
}

void RuntimeQuit()
{
    RunState& s = State();
    s.quitting = true;
    if (s.loop)
        s.loop->exit(0);
}

bool RuntimeQuitting() { return State().quitting; }

namespace {
// The coarse clock costs a few nanoseconds against some twenty for the precise one, and its
// resolution of a few milliseconds is ample for a 15 ms rhythm.
int64_t CoarseMilliseconds()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
} // namespace

bool RuntimeBackgroundTask()
{
    // The first call of a run turns the loop at once; after that, every 15 ms.
    static int64_t lastTurn = 0;
    RunState& s = State();
    if (s.quitting)
        throw EndOfRun();
    if (s.turnCondition ? !s.turnCondition() : CoarseMilliseconds() - lastTurn < 15)
        return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    lastTurn = CoarseMilliseconds();
    if (s.quitting)
        throw EndOfRun();
    return true;
}

namespace {

void Tell(const std::exception& e)
{
    if (auto* re = dynamic_cast<const RuntimeException*>(&e))
        ShowMessage(re->Kind(), re->what());
    else if (dynamic_cast<const std::bad_alloc*>(&e))
        ShowMessage("Out of memory", "There was not enough memory to finish the operation.");
    else
        ShowMessage("Error", e.what());
}

// Shows what the exception says; the end of the run is no failure and shows nothing.
bool TellCaught(std::exception_ptr e)
{
    try {
        std::rethrow_exception(e);
    } catch (const EndOfRun&) {
        return false;
    } catch (const std::exception& ex) {
        Tell(ex);
    } catch (...) {
        Tell(RuntimeException("An unknown failure occurred."));
    }
    return true;
}

} // namespace

void UnhandledException(const std::exception& e)
{
    ++State().unhandled;
    RuntimeTrace("UnhandledException");
    Tell(e);
}

void UnhandledException(std::exception_ptr e)
{
    RuntimeTrace("UnhandledException");
    if (TellCaught(e))
        ++State().unhandled;
}

void RuntimeReportHandlerFailure(std::exception_ptr e)
{
    if (TellCaught(e))
        RuntimeTrace("HandlerFailure");
}

void SetUnhandledExceptionReporter(ExceptionReporter reporter) { Reporter() = std::move(reporter); }


void RuntimeTrace(const std::string& step) { RuntimeTraceLog().push_back(step); }

std::vector<std::string>& RuntimeTraceLog()
{
    static std::vector<std::string> log;
    return log;
}

namespace testing {
void SetLoopOverride(std::function<void()> body) { State().loopOverride = std::move(body); }
void SetTurnCondition(std::function<bool()> turnNow) { State().turnCondition = std::move(turnNow); }
int32_t LastExitStatus() { return State().lastStatus; }
} // namespace testing

} // namespace fw
