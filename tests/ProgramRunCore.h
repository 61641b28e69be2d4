#pragma once
// The skeleton of a run of the real program in-process, shared by the tests and the
// benchmarks: from a fresh start to the end of shut-down, with a piece of work done inside the
// event loop once the window exists.
#include "app/Entry.h"
#include "app/Module1.h"
#include "framework/runtime/Runtime.h"
#include "framework/ui/Dialogs.h"
#include "window/Window1.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace program_run {

// Runs main; `inLoop` gets the window inside the event loop, after which the program is quit.
// The caller installs an error reporter first if it wants one; it and the dialog answerer are
// removed afterwards. Returns main's result.
inline int32_t RunMain(const std::function<void(Window1&)>& inLoop)
{
    // Each run starts as a fresh process would, from the globals' start values: the window
    // opens from them before the application's Open resets them.
    Module1::InitGlobals();
    // A timer of this run's own: if start-up fails before the loop, it dies with the run
    // instead of firing in the next one.
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        fw::Ref<fw::Window> w = fw::GetImplicitWindow("Window1.Window1");
        if (w && inLoop)
            inLoop(static_cast<Window1&>(*w));
        fw::RuntimeQuit();
    });
    timer.start();
    int32_t status = zorlin::main(0, nullptr);
    fw::SetUnhandledExceptionReporter(nullptr);
    fw::testing::SetDialogResponder(nullptr);
    return status;
}

} // namespace program_run
