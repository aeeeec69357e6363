// The calls of a routed library that the simulator does not serve but the
// process does: the registry, threads, libraries and handles of its own.
// Each is traced and can be failed by the machine's fault rules like the
// simulated ones; otherwise the real function does the work.
#pragma once

#include <windows.h>

#include <cstddef>

#include "import_table.h"

namespace lumbrel::sim::windows {

// Every import that a routed library's calls take instead of the real ones.
const ImportRoute* LibraryRoutes(std::size_t* count);

// Whether every thread started through the routed CreateThread is under
// way: it has paused on the clock for the first time, or ended.
bool ThreadsUnderway();

}  // namespace lumbrel::sim::windows
