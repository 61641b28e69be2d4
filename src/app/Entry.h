#pragma once
#include <cstdint>

namespace zorlin {
// The entry routine: starts the runtime, builds the class tables, runs start-up to the end of
// the event loop, shuts down in order and gives the exit status.
int32_t main(int argc, char** argv);
// Its steps, in the order main runs them.
void initialize(); // builds every class table: the framework's first, then App, Window1, MenuBar1
void Main();       // start-up inside one catch: the application object, the window, the loop
void finalize();   // the exit hooks, in order
} // namespace zorlin
