#pragma once

// A private PulseAudio server for one test program: a null sink ("null", "Null Output") as
// its only output, any further modules the test names, and PULSE_SERVER set so that this
// process's sound stack finds it and nothing else. Stopped when it goes.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

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
        m_server.terminate();
        if (!m_server.waitForFinished(3000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }

    static bool isInstalled()
    {
        return !QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty();
    }

    // Starts it, before anything of the sound stack is touched in this process; false when it
    // did not come up within ten seconds.
    bool start(const QStringList &modules = {})
    {
        if (!m_dir.isValid())
            return false;
        const QString socket = m_dir.filePath(QStringLiteral("pulse.sock"));
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
        return true;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
};

} // namespace anunciel::test
