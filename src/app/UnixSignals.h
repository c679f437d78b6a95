#pragma once

#include <functional>

namespace anunciel {

// Calls `handler` on the event loop when SIGTERM, SIGINT or SIGHUP arrives (log-out,
// shutdown, Ctrl+C). Does nothing where there are no such signals.
void onTerminationSignal(std::function<void()> handler);

} // namespace anunciel
