#pragma once

// Why a file operation failed, in Portuguese, for the log and the boxes. Qt's errorString()
// is the system's own text, in English on most stations ("Is a directory").

#include <QFileDevice>
#include <QString>

namespace anunciel {

// The calling thread's last system error code (errno; GetLastError() on Windows): to be taken
// right after the call that failed, before anything else can change it.
int lastSystemError();
// Clears it before a call, so that a failure without a system call of its own is not given
// an older call's cause.
void clearSystemError();

// The cause the system code names ("é uma pasta", "permissão negada", "disco cheio"...);
// for a code without a text of its own, the kind of failure Qt reports, with the number.
QString fileErrorText(QFileDevice::FileError error, int systemCode);

// The same for `file`, whose last call has just failed.
inline QString fileErrorText(const QFileDevice &file)
{
    const int code = lastSystemError();
    return fileErrorText(file.error(), code);
}

} // namespace anunciel
