#pragma once

// A private PulseAudio server for one test program: a null sink ("null", "Null Output") as
// its only output, any further modules the test names, and PULSE_SERVER set so that this
// process's sound stack finds it and nothing else. Stopped when it goes.
//
// With ANUNCIEL_TEST_SOUND_SERVER=pipewire it is PipeWire instead, as Debian 12's desktops
// run it: pipewire, wireplumber and pipewire-pulse on a private session bus, the null sink
// and the modules loaded through its PulseAudio service.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace anunciel::test {

class PulseServer
{
    Q_DISABLE_COPY_MOVE(PulseServer)

public:
    PulseServer() = default;
    ~PulseServer()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_reader.kill();
        m_reader.waitForFinished(3000);
        if (pipeWire()) {
            kill();
            return;
        }
        m_server.terminate();
        if (!m_server.waitForFinished(3000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }

    static bool pipeWire()
    {
        return qEnvironmentVariable("ANUNCIEL_TEST_SOUND_SERVER") == QStringLiteral("pipewire");
    }

    static bool isInstalled()
    {
        QStringList programs{QStringLiteral("pulseaudio")};
        if (pipeWire())
            programs = {QStringLiteral("pipewire"),       QStringLiteral("wireplumber"),
                        QStringLiteral("pipewire-pulse"), QStringLiteral("dbus-run-session"),
                        QStringLiteral("setpriv"),        QStringLiteral("pactl")};
        for (const QString &program : programs)
            if (QStandardPaths::findExecutable(program).isEmpty())
                return false;
        return true;
    }

    // Starts it, before anything of the sound stack is touched in this process; false when it
    // did not come up within ten seconds.
    bool start(const QStringList &modules = {})
    {
        m_modules = modules;
        return launch();
    }

    // The server dies at once (as when it crashes), and comes back on the same socket.
    void kill()
    {
        m_reader.kill();
        m_reader.waitForFinished(3000);
        if (pipeWire() && m_server.processId() > 0)
            ::kill(-pid_t(m_server.processId()), SIGKILL); // the bus and the three daemons
        m_server.kill();
        m_server.waitForFinished(3000);
        QFile::remove(socketPath());
    }
    bool restart() { return launch(); }

    // pactl against this server (Debian's pulseaudio-utils): true when it succeeded.
    static bool hasPactl()
    {
        return !QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty();
    }
    bool pactl(const QStringList &arguments, QString *output = nullptr)
    {
        QProcess run;
        run.start(QStandardPaths::findExecutable(QStringLiteral("pactl")), arguments);
        const bool ok = run.waitForFinished(5000) && run.exitStatus() == QProcess::NormalExit &&
                        run.exitCode() == 0;
        if (output)
            *output = QString::fromUtf8(run.readAllStandardOutput());
        return ok;
    }

    // Another null output, read as the first one is; its module's number, empty on failure.
    QString addOutput(const QString &name, const QString &description)
    {
        QString module;
        if (!pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                    QStringLiteral("sink_name=") + name,
                    QStringLiteral("sink_properties=device.description=") + description},
                   &module))
            return {};
        readMonitor(m_extraReaders.emplace_back(std::make_unique<QProcess>()).get(), name);
        QTest::qWait(2100); // its first block, rendered before anything read it
        return module.trimmed();
    }

private:
    static void readMonitor(QProcess *reader, const QString &sink)
    {
        const QString parec = QStandardPaths::findExecutable(QStringLiteral("parec"));
        if (parec.isEmpty())
            return;
        reader->setStandardOutputFile(QProcess::nullDevice());
        reader->setStandardErrorFile(QProcess::nullDevice());
        reader->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        reader->start(parec, {QStringLiteral("-d"), sink + QStringLiteral(".monitor"),
                              QStringLiteral("--latency-msec=20")});
        reader->waitForStarted(5000);
    }

    QString socketPath() const
    {
        return m_dir.filePath(pipeWire() ? QStringLiteral("pulse/native")
                                         : QStringLiteral("pulse.sock"));
    }

    bool launchPipeWire()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_dir.filePath(QStringLiteral("state")));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("PIPEWIRE_REMOTE"));
        m_server.setProcessEnvironment(env);
        // Each one dies with the one that started it, and so all with this test.
        m_server.setProgram(QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")));
        m_server.setArguments({QStringLiteral("--"), QStringLiteral("setpriv"),
                               QStringLiteral("--pdeathsig=KILL"), QStringLiteral("sh"),
                               QStringLiteral("-c"),
                               QStringLiteral("setpriv --pdeathsig=KILL pipewire & sleep 0.5; "
                                              "setpriv --pdeathsig=KILL wireplumber & "
                                              "setpriv --pdeathsig=KILL pipewire-pulse & wait")});
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.setChildProcessModifier([] {
            ::setsid(); // a group of its own, to be ended whole
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        m_server.start();
        const QString socket = socketPath();
        if (!m_server.waitForStarted(5000) ||
            !QTest::qWaitFor([&socket] { return QFile::exists(socket); }, 10000))
            return false;
        qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
        if (!pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                    QStringLiteral("sink_name=null"),
                    QStringLiteral("sink_properties=\"device.description='Null Output'\"")}))
            return false;
        for (const QString &module : m_modules)
            if (!pactl(QStringList{QStringLiteral("load-module")} + module.split(u' ')))
                return false;
        // The session manager makes the null sink the default once it sees it.
        return QTest::qWaitFor(
            [this] {
                QString info;
                return pactl({QStringLiteral("info")}, &info) &&
                       info.contains(QStringLiteral("Default Sink: null"));
            },
            10000);
    }

    bool launch()
    {
        if (!m_dir.isValid())
            return false;
        if (pipeWire())
            return launchPipeWire();
        const QStringList &modules = m_modules;
        const QString socket = socketPath();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        m_server.setProcessEnvironment(env);
        m_server.setProgram(QStandardPaths::findExecutable(QStringLiteral("pulseaudio")));
        QStringList arguments{QStringLiteral("-n"),
                              QStringLiteral("--daemonize=no"),
                              QStringLiteral("--exit-idle-time=-1"),
                              QStringLiteral("--disable-shm=yes"),
                              QStringLiteral("--log-level=0"),
                              QStringLiteral("--load=module-null-sink")};
        for (const QString &module : modules)
            arguments << QStringLiteral("--load=") + module;
        arguments << QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 "
                                    "socket=") +
                         socket;
        m_server.setArguments(arguments);
        // Its output must not hold the test's open after a crash, and it must not outlive it.
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_server.start();
        if (!m_server.waitForStarted(5000) ||
            !QTest::qWaitFor([&socket] { return QFile::exists(socket); }, 10000))
            return false;
        qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
        // A null sink with nothing reading it renders in blocks of up to two seconds, and a
        // stream that comes while it sleeps waits that long for its first request; a sound
        // card plays on. Its monitor read in small blocks (parec, where there is one) keeps
        // it rendering as a card does.
        readMonitor(&m_reader, QStringLiteral("null"));
        return true;
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    QProcess m_reader;
    std::vector<std::unique_ptr<QProcess>> m_extraReaders;
    QStringList m_modules;
};

} // namespace anunciel::test
