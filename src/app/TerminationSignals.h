#pragma once

#include <functional>

class QObject;

namespace anunciel {

// Calls `handler` on the event loop when SIGTERM, SIGINT or SIGHUP arrives (log-out,
// shutdown, Ctrl+C), for as long as `owner` lives. Does nothing where there are no such
// signals.
void onTerminationSignal(QObject *owner, std::function<void()> handler);

} // namespace anunciel
