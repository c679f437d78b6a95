#pragma once

// The real program run without a screen in a station folder of its own: a copy of the
// program there (where it looks for the announcements), the schedule files, estacao.ini, the
// rigctld it keys, and an environment with no display at all. The commands to it are run
// the same way, as a shell in the station folder would.

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

namespace anunciel::test {

struct CommandRun
{
    int exitCode = -1;
    QString output;
    QString errors;
};

class HeadlessStation
{
    Q_DISABLE_COPY_MOVE(HeadlessStation)

public:
    // `rigctld` ("host:port") keys the radio; empty for a station keyed by VOX.
    explicit HeadlessStation(const QString &rigctld = QString())
    {
        m_env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            m_env.remove(QString::fromLatin1(name));
        if (rigctld.isEmpty())
            m_env.remove(QStringLiteral("ANUNCIEL_RIGCTLD"));
        else
            m_env.insert(QStringLiteral("ANUNCIEL_RIGCTLD"), rigctld);
        // The commands' socket in a folder of this test's own.
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_program = m_folder.filePath(QStringLiteral("anunciel"));
        if (!QFile::copy(QStringLiteral(ANUNCIEL_EXECUTABLE), m_program) ||
            !QFile::setPermissions(m_program, QFile::permissions(m_program) | QFile::ExeOwner))
            qFatal("cannot copy the program into the station folder");
        m_process.setProcessEnvironment(m_env);
        m_process.setWorkingDirectory(m_folder.path());
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }
    ~HeadlessStation()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    QString path() const { return m_folder.path(); }
    QString filePath(const QString &name) const { return m_folder.filePath(name); }
    QString runtimePath() const { return m_runtime.path(); }
    QProcessEnvironment &environment() { return m_env; }
    QProcess &process() { return m_process; }
    const QString &program() const { return m_program; }

    // Writes a schedule file as the window would: four lines, each ended by CR LF.
    bool writeSchedule(const QString &name, const QStringList &lines) const
    {
        QByteArray bytes;
        for (int i = 0; i < 4; ++i)
            bytes += (i < lines.size() ? lines[i].toLatin1() : QByteArray()) + "\r\n";
        return writeBytes(filePath(name), bytes);
    }

    // Starts `anunciel --sem-janela` (or `arguments`) in the folder.
    bool start(const QStringList &arguments = {QStringLiteral("--sem-janela")})
    {
        m_process.setProcessEnvironment(m_env);
        m_process.start(m_program, arguments);
        return m_process.waitForStarted(5000);
    }
    // Whether the running program has taken commands: it answers the status request.
    bool waitUntilAnswering(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return run({QStringLiteral("--situacao")}).exitCode == 0; },
                               ms);
    }
    QString log() const { return QString::fromUtf8(readBytes(filePath(QStringLiteral("registro.txt")))); }

    // Runs the program to its end with `arguments` in the folder: a command, say.
    CommandRun run(const QStringList &arguments, int ms = 30000) const
    {
        QProcess command;
        command.setProcessEnvironment(m_env);
        command.setWorkingDirectory(m_folder.path());
        command.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        command.start(m_program, arguments);
        CommandRun result;
        if (!command.waitForFinished(ms))
            return result;
        result.exitCode = command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -2;
        result.output = QString::fromUtf8(command.readAllStandardOutput());
        result.errors = QString::fromUtf8(command.readAllStandardError());
        return result;
    }

private:
    QTemporaryDir m_folder;
    QTemporaryDir m_runtime;
    QString m_program;
    QProcessEnvironment m_env;
    QProcess m_process;
};

} // namespace anunciel::test
