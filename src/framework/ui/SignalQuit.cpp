#include "SignalQuit.h"

#include "framework/runtime/Runtime.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace fw {
namespace {

// Never closed: a handler may write to it at any moment until the process ends.
int gSignalPipe[2] = {-1, -1};
std::unique_ptr<QSocketNotifier> gNotifier;

extern "C" void OnQuitSignal(int)
{
    int saved = errno;
    char byte = 1;
    // A full pipe already holds a request to quit; nothing is lost by dropping this one.
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

// A modal dialog runs a loop of its own, which the quit would not end: closing it cancels it,
// so the handler that opened it returns to the main loop, which has been told to end.
void CloseModalWidgets()
{
    QWidget* last = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == last)
            break; // it refused to close
        last = modal;
        modal->close();
    }
}

void QuitOnSignal()
{
    char bytes[64];
    while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    RuntimeQuit();
    CloseModalWidgets();
}

} // namespace

void WatchQuitSignals()
{
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe to be had: the signals keep their default action
    if (!gNotifier) {
        gNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(gNotifier.get(), &QSocketNotifier::activated, [] { RuntimeDispatch(QuitOnSignal); });
    }
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

void StopWatchingQuitSignals()
{
    gNotifier.reset();
}

} // namespace fw
