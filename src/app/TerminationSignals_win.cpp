#include "TerminationSignals.h"

namespace anunciel {

// Windows ends a session through the window's own close request instead.
void onTerminationSignal(QObject *, std::function<void()>) {}

} // namespace anunciel
