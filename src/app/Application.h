#pragma once

class QApplication;

namespace anunciel {

class Station;
class StationLog;

// The status line says when the log file stops taking lines, and when it takes them again.
void showLogTroubleIn(Station &station, StationLog &log);

// Settings that must be made before the QApplication exists.
void prepareApplication();

// Start-up, the window, the event loop; the program's exit status.
int run(QApplication &app);

} // namespace anunciel
