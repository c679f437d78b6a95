#include "app/Headless.h"

#include "app/TerminationSignals.h"
#include "core/ControlClient.h"
#include "core/ControlServer.h"
#include "core/ScheduleWatch.h"
#include "core/Station.h"
#include "core/StationFolderLock.h"
#include "core/StationLog.h"
#include "settings/StationSettings.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace anunciel {

namespace {

// Nobody is there to answer: the file's absence has been logged, and the station unticks it.
class ScreenlessFrontEnd final : public StationFrontEnd
{
public:
    void tellMissingFile(int) override {}
};

// A box's text goes to the station's log; a question gets its default answer. A fatal
// report has been logged already by the one who gives it.
class LoggedBoxes final : public MessageBoxes
{
public:
    explicit LoggedBoxes(Log &log) : m_log(log) {}
    void ok(QWidget *, const QString &text, const QString &, Icon) override
    {
        m_log.line(QString(text).replace(u'\n', u' '));
    }
    bool question(QWidget *, const QString &, const QString &) override { return false; }
    void fatal(QWidget *, qint64, const QString &) override {}

private:
    Log &m_log;
};

void printLines(std::FILE *to, const QStringList &lines)
{
    for (const QString &line : lines) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    }
    std::fflush(to);
}

QString slotsText(const Station &station)
{
    QStringList parts;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const StationSlot &s = station.slot(slot);
        parts << QStringLiteral("%1) %2 %3 \"%4\"")
                     .arg(slot + 1)
                     .arg(s.enabled == Qt::Checked ? QStringLiteral("[x]") : QStringLiteral("[ ]"),
                          s.time.isEmpty() ? QStringLiteral("--:--") : s.time, s.fileName);
    }
    return parts.join(QStringLiteral("; "));
}

// A schedule file changed on disk: read it whole. A file that cannot be read leaves the
// schedule in force. As at start, a slot is ticked when it names a file: there is no box to
// tick here, and a slot unticked for its missing WAV comes back with the next save.
void reloadColumn(Station &station, Log &log, const QString &fileName)
{
    const Station::Column column =
        fileName == kTimesFile ? Station::Column::Times : Station::Column::FileNames;
    const ScheduleRead read = station.loadColumn(column);
    switch (read.status) {
    case ScheduleRead::Status::Missing:
        log.line(QStringLiteral("O arquivo \"%1\" foi apagado; as mensagens em vigor continuam.")
                     .arg(fileName));
        return;
    case ScheduleRead::Status::Unreadable:
        log.line(QStringLiteral("O arquivo \"%1\" mudou mas não pôde ser lido: %2. As mensagens "
                                "em vigor continuam.")
                     .arg(fileName, read.reason));
        return;
    case ScheduleRead::Status::Ok:
        break;
    }
    for (int slot = 0; slot < kSlotCount; ++slot)
        station.setEnabled(slot,
                           station.slot(slot).fileName.isEmpty() ? Qt::Unchecked : Qt::Checked);
    log.line(QStringLiteral("Arquivo \"%1\" lido de novo. Mensagens: %2")
                 .arg(fileName, slotsText(station)));
}

int runStation(QCoreApplication &app, Platform &platform, StationLog &log,
               StationFolderLock::Result locked)
{
    const QString folder = QDir::currentPath();
    if (locked == StationFolderLock::Result::NotPossible)
        log.line(QStringLiteral("Aviso: não foi possível criar a trava \"%1\" na pasta %2; outra "
                                "cópia do Anunciel nesta pasta não seria percebida.")
                     .arg(StationFolderLock::fileName(), QDir::toNativeSeparators(folder)));
    // Read once, and handed to the link and the station.
    const StationSettingsRead settings = readStationSettings();
    Station station(platform, [&settings, &log] { return createLink(settings.settings, &log); });
    ScreenlessFrontEnd frontEnd;
    station.setFrontEnd(&frontEnd);
    if (!station.start(settings))
        return 1;
    station.recall(log.readBack());
    log.line(QStringLiteral("Mensagens: %1").arg(slotsText(station)));

    ScheduleWatch watch(folder, {kTimesFile, kNamesFile, kDaysFile});
    QObject::connect(&watch, &ScheduleWatch::changed, &station,
                     [&station, &log](const QString &fileName) {
                         if (station.isEnding())
                             return;
                         if (fileName == kDaysFile)
                             station.loadDays();
                         else
                             reloadColumn(station, log, fileName);
                     });
    ControlServer control(station, settings.settings, *platform.clock);
    if (const std::optional<QString> why = control.listen(folder))
        log.line(QStringLiteral("Aviso: os comandos --enviar-agora e --situacao não vão "
                                "funcionar nesta execução: %1")
                     .arg(*why));
    onTerminationSignal(&station, [&station, &log] {
        if (station.isEnding())
            return;
        log.line(QStringLiteral("Pedido de encerramento recebido (sinal); encerrando."));
        station.stop();
        QCoreApplication::exit(0);
    });
    return app.exec();
}

int runScreenless(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(programTitle());
    app.setApplicationVersion(QStringLiteral(ANUNCIEL_VERSION));
    Platform platform = systemPlatform();
    // A copy refused in a folder where the station runs writes nothing into that station's
    // log: its words go to standard error.
    StationFolderLock lock(QDir::currentPath());
    const StationFolderLock::Result locked = lock.acquire();
    if (locked == StationFolderLock::Result::HeldByAnother) {
        const qint64 pid = lock.holder();
        platform.log->line(
            QStringLiteral("O Anunciel já está rodando na pasta %1%2 (com ou sem "
                           "janela); esta cópia foi encerrada sem alterar nada.")
                .arg(QDir::toNativeSeparators(QDir::currentPath()),
                     pid > 0 ? QStringLiteral(" (processo %1)").arg(pid) : QString()));
        return 1;
    }
    StationLog log(*platform.clock, QDir::currentPath());
    LoggedBoxes boxes(log);
    platform.log = &log;
    platform.boxes = &boxes;
    log.line(QStringLiteral("Anunciel %1 iniciado sem janela na pasta %2")
                 .arg(app.applicationVersion(), QDir::toNativeSeparators(QDir::currentPath())));
    const int status = runStation(app, platform, log, locked);
    log.line(QStringLiteral("Anunciel encerrado."));
    return status;
}

int runCommand(int argc, char *argv[], const QString &request)
{
#ifdef Q_OS_WIN
    // A program built for the window has no console of its own: it writes to the one it was
    // started from.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
    QCoreApplication app(argc, argv);
    const CommandAnswer answer = askStation(QDir::currentPath(), request);
    printLines(stdout, answer.output);
    printLines(stderr, answer.errors);
    return answer.status;
}

void usage(const QString &problem)
{
    printLines(stderr, {problem, QStringLiteral("Uso: anunciel [--pasta PASTA] [--sem-janela | "
                                                "--enviar-agora N | --situacao]")});
}

} // namespace

std::optional<int> runScreenlessOption(int argc, char *argv[])
{
    bool noWindow = false;
    QString request;
    int requests = 0;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(arg, kNoWindowOption) == 0) {
            noWindow = true;
        } else if (std::strcmp(arg, kStatusOption) == 0) {
            request = kStatusRequest;
            ++requests;
        } else if (std::strcmp(arg, kSendNowOption) == 0 || std::strcmp(arg, kFolderOption) == 0) {
            if (!hasValue) {
                usage(QStringLiteral("Falta o valor de %1.").arg(QString::fromUtf8(arg)));
                return kCommandNotUnderstood;
            }
            const QString value = QString::fromLocal8Bit(argv[++i]);
            if (std::strcmp(arg, kFolderOption) == 0) {
                // Every file the station uses is found from the working folder.
                if (!QDir::setCurrent(value)) {
                    usage(QStringLiteral("A pasta \"%1\" não existe ou não pode ser aberta.")
                              .arg(value));
                    return kCommandNotUnderstood;
                }
                continue;
            }
            bool isNumber = false;
            const int slot = value.toInt(&isNumber);
            if (!isNumber || slot < 1 || slot > kSlotCount) {
                usage(QStringLiteral("%1 precisa do número da mensagem, de 1 a %2 (veio \"%3\").")
                          .arg(QString::fromUtf8(arg))
                          .arg(kSlotCount)
                          .arg(value));
                return kCommandNotUnderstood;
            }
            request = kSendNowRequest + u' ' + QString::number(slot);
            ++requests;
        }
    }
    if (requests + (noWindow ? 1 : 0) > 1) {
        usage(QStringLiteral("Use só uma destas opções de cada vez: %1, %2, %3.")
                  .arg(QString::fromUtf8(kNoWindowOption), QString::fromUtf8(kSendNowOption),
                       QString::fromUtf8(kStatusOption)));
        return kCommandNotUnderstood;
    }
    if (noWindow)
        return runScreenless(argc, argv);
    if (requests == 1)
        return runCommand(argc, argv, request);
    return std::nullopt;
}

std::optional<int> refuseWindowWithoutDisplay(int argc, char *argv[])
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const QString platform =
        qEnvironmentVariable("QT_QPA_PLATFORM").section(u':', 0, 0).trimmed().toLower();
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    bool shown = true;
    if (platform.isEmpty())
        shown = x11 || wayland;
    else if (platform == QStringLiteral("xcb"))
        shown = x11;
    else if (platform.startsWith(QStringLiteral("wayland")))
        shown = wayland;
    // Any other platform (offscreen, vnc, eglfs, a list to try) is the user's own choice.
    for (int i = 1; i < argc; ++i)
        shown = shown || std::strcmp(argv[i], "-platform") == 0;
    if (shown)
        return std::nullopt;
    StationLog log(*systemPlatform().clock, QDir::currentPath());
    log.line(QStringLiteral("Não há tela para abrir a janela do Anunciel (nem DISPLAY nem "
                            "WAYLAND_DISPLAY definidos). Para rodar a estação sem tela, use "
                            "\"anunciel --sem-janela\"."));
    return 1;
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return std::nullopt;
#endif
}

} // namespace anunciel
