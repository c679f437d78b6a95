#include "Application.h"

#include "MainWindow.h"
#include "TerminationSignals.h"
#include "core/ControlServer.h"
#include "core/StationFolderLock.h"
#include "core/StationLog.h"
#include "settings/StationSettings.h"
#include "ui/WindowPlatform.h"

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

void showLogTroubleIn(Station &station, StationLog &log)
{
    // The log outlives the station (it writes the program's end): the station must not be
    // told anything once it is gone.
    QObject::connect(&station, &QObject::destroyed, [&log] { log.setTroubleHandler({}); });
    // Said once when the file stops taking lines and once when it takes them again; the
    // reason is on standard error too.
    log.setTroubleHandler([&station, &log](const QString &reason) {
        const QString file = QDir::toNativeSeparators(log.filePath());
        station.showNotice(
            reason.isEmpty() ? QStringLiteral("O registro voltou a ser gravado em %1").arg(file)
                             : QStringLiteral("Registro não gravado em %1: %2").arg(file, reason));
    });
}

namespace {

int runWindow(QApplication &app, const Platform &platform, StationLog &log)
{
    // Read once, and handed to the link and the station.
    const StationSettingsRead settings = readStationSettings();
    Station station(platform,
                    [&settings, log = platform.log] { return createLink(settings.settings, log); });
    // Made before the station starts, so that its fields take the schedule as it loads.
    MainWindow window(station, platform);
    if (!station.start(settings))
        return 1;
    station.recall(log.readBack());
    showLogTroubleIn(station, log);
    // "Enviar agora" and the status from a shell, as for the station without a screen.
    ControlServer control(station, settings.settings, *platform.clock);
    if (const std::optional<QString> why = control.listen(QDir::currentPath()))
        log.line(QStringLiteral("Aviso: os comandos --enviar-agora e --situacao não vão "
                                "funcionar nesta execução: %1")
                     .arg(*why));
    onTerminationSignal(&window, [&window] { window.endWithoutQuestion(); });
    window.show();
    return app.exec();
}

// Where the station's log file lives: beside the program on Windows, where the installer
// puts the station; on Linux in the folder the program is started from, with the schedule.
QString stationFolder(const Platform &platform)
{
#ifdef Q_OS_WIN
    return platform.desktop->programFolder();
#else
    Q_UNUSED(platform);
    return QDir::currentPath();
#endif
}

} // namespace

int run(QApplication &app)
{
    app.setApplicationName(programTitle());
    app.setApplicationVersion(QStringLiteral(ANUNCIEL_VERSION));
    Platform platform = windowPlatform();
    // The schedule files are read and written in the folder the program is started from.
    // A copy refused there says so on standard error and in its box, and writes nothing into
    // the log of the program that runs there.
    StationFolderLock lock(QDir::currentPath());
    if (!claimStationFolder(lock, platform))
        return 1;
    StationLog log(*platform.clock, stationFolder(platform));
    platform.log = &log;
    log.line(QStringLiteral("Anunciel %1 iniciado na pasta %2")
                 .arg(app.applicationVersion(), QDir::toNativeSeparators(QDir::currentPath())));
    const int status = runWindow(app, platform, log);
    log.line(QStringLiteral("Anunciel encerrado."));
    return status;
}

} // namespace anunciel
