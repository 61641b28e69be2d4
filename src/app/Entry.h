#pragma once
#include <cstdint>

namespace zorlin {
// The entry routine: starts the runtime, builds the class tables, runs start-up to the end of
// the event loop, shuts down in order and gives the exit status.
int32_t main(int argc, char** argv);
} // namespace zorlin
