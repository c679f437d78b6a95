#pragma once

class QApplication;

namespace anunciel {

// Settings that must be made before the QApplication exists.
void prepareApplication();

// Start-up, the window, the event loop; the program's exit status.
int run(QApplication &app);

} // namespace anunciel
