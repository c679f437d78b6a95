#include "Application.h"

#include "MainWindow.h"
#include "StationFolderLock.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QDir>

namespace anunciel {

void prepareApplication()
{
    // Under Wayland a program cannot place its own window (this one opens centred) and the
    // bell is silent. Where the user chose no platform and X11 is there too (XWayland), run
    // on it. Elsewhere WAYLAND_DISPLAY is never set and this does nothing.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

int run(QApplication &app)
{
    app.setApplicationName(programTitle());
    const Platform platform = systemPlatform();
    // The schedule files are read and written in the folder the program is started from.
    StationFolderLock lock(QDir::currentPath());
    if (!claimStationFolder(lock, platform))
        return 1;
    MainWindow window(platform, [log = platform.log] { return createLink(log); });
    if (!window.start())
        return 1;
    onTerminationSignal(&window, [&window] { window.endWithoutQuestion(); });
    window.show();
    return app.exec();
}

} // namespace anunciel
