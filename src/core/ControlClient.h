#pragma once

// The shell's side of the commands to a running station (see ControlServer.h).

#include <QString>
#include <QStringList>

namespace anunciel {

struct CommandAnswer
{
    int status = 0;     // the command's exit status (CommandStatus)
    QStringList output; // for standard output
    QStringList errors; // for standard error
};

// Sends `request` to the program running in `folder` and waits for its whole answer, however
// long a send takes. Never starts a program: where none answers, kCommandNoProgram.
CommandAnswer askStation(const QString &folder, const QString &request);

} // namespace anunciel
