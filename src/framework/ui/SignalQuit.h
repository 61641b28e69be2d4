#pragma once
// SIGTERM, SIGINT and SIGHUP end the run as the Quit item does: the handler only writes a byte
// to a pipe, and the event loop, which watches the pipe, closes any open dialog and quits.
namespace fw {

// Installs the handlers and the watch; needs the toolkit's application.
void WatchQuitSignals();
// Removes the watch before the toolkit's application goes. A signal after this is still
// caught, and ignored: the run is ending anyway.
void StopWatchingQuitSignals();

} // namespace fw
