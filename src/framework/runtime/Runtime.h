#pragma once
// The runtime's start-up and shut-down, the event loop, the background-task hook and the
// handling of exceptions that nothing else caught.
#include "Ref.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace fw {

class Application;

void RuntimeInit();
int32_t RuntimeExit();
// True when the run is the process's own (the runtime made the toolkit's application), so that
// the process ends right after it: what is left at the end then need not be freed.
bool RuntimeEndsTheProcess();
void RuntimeInitExternalClasses();
void RuntimeAllocatePluginEntrypointsTable(int32_t count);
void InitPluginEntrypoints();
int32_t RuntimePluginEntrypointCount(); // -1 before the table exists

void RuntimeRegisterAppObject(const Ref<Application>& app);
Ref<Application> RuntimeAppObject();

// Runs the event loop on the calling thread until the application ends.
void RuntimeRun();
// Ends the application: the event loop returns, and long loops unwind at their next yield.
void RuntimeQuit();
bool RuntimeQuitting();

// Lets the event loop run. Cheap enough to call after every item of a long loop: it only
// checks a timer, and turns the loop when about 15 ms have passed since the last turn. True
// when the loop ran, so that other handlers may have changed what the caller looks at.
bool RuntimeBackgroundTask();

// Tells the user what failed and why, then returns. Used for what escapes start-up: the run
// then ends with a failure status.
void UnhandledException(const std::exception& e);
void UnhandledException(std::exception_ptr e);
// Tells the user what failed in an event handler and why; the program goes on as before.
void RuntimeReportHandlerFailure(std::exception_ptr e);
// Where the message goes; the default is a message box. Tests install a recorder.
using ExceptionReporter = std::function<void(const std::string& title, const std::string& message)>;
void SetUnhandledExceptionReporter(ExceptionReporter reporter);

// Calls a handler on behalf of the event loop: a failure reaches UnhandledException and never
// unwinds through the toolkit; the end of the run unwinds quietly.
template <typename F>
auto RuntimeDispatch(F&& f) -> decltype(f())
{
    try {
        return f();
    } catch (...) {
        RuntimeReportHandlerFailure(std::current_exception());
    }
    return decltype(f())();
}

// A record of the run's phases and exit hooks, for the tests of the start-up order.
void RuntimeTrace(const std::string& step);
std::vector<std::string>& RuntimeTraceLog();

namespace testing {
// Replaces the event loop's body for one run (failure injection).
void SetLoopOverride(std::function<void()> body);
// Replaces the clock of the background-task hook until the run ends or nullptr comes: the
// loop turns at exactly those calls for which `turnNow` answers true, so that a test decides
// at which yield of a long task its timers and clicks come.
void SetTurnCondition(std::function<bool()> turnNow);
// What the last RuntimeExit returned.
int32_t LastExitStatus();
}

} // namespace fw
