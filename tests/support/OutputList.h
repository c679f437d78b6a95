#pragma once

// The real program asked for its list of audio outputs, as an operator asks from a terminal
// with no display: its exit code and what it printed. The test target defines
// ANUNCIEL_EXECUTABLE.

#include <QProcess>
#include <QString>

namespace anunciel::test {

struct ProgramAnswer
{
    bool ended = false; // ran to its end, within ten seconds
    int exitCode = -1;
    QString output;
};

inline ProgramAnswer listOutputsWithoutDisplay()
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ANUNCIEL_EXECUTABLE), {QStringLiteral("--listar-saidas")});
    ProgramAnswer answer;
    answer.ended = program.waitForFinished(10000) && program.exitStatus() == QProcess::NormalExit;
    answer.exitCode = program.exitCode();
    answer.output = QString::fromUtf8(program.readAllStandardOutput());
    return answer;
}

} // namespace anunciel::test
