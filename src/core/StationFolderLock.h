#pragma once

#include <QLockFile>
#include <QString>

namespace anunciel {

struct Platform;

// One program per station folder: two copies in one folder would send every announcement
// twice and overwrite each other's schedule files. The lock is a file in the folder that
// names the process holding it; a lock left by a run that crashed is taken over.
class StationFolderLock
{
    Q_DISABLE_COPY_MOVE(StationFolderLock)

public:
    enum class Result
    {
        Acquired,
        HeldByAnother, // a program is running in this folder
        NotPossible    // no lock can be made here (a folder that cannot be written)
    };

    explicit StationFolderLock(const QString &folder);

    Result acquire();
    const QString &folder() const { return m_folder; }
    // The process that holds the lock, when another does; 0 when not known.
    qint64 holder() const;

    static QString fileName() { return QStringLiteral(".anunciel.lock"); }

private:
    QString m_folder;
    QLockFile m_lock;
};

// Takes the lock of the folder the program was started from. False when another copy runs
// there: the operator has been told, and this run must end without touching anything. A
// folder where no lock can be made does not stop the program (it is said in the log).
bool claimStationFolder(StationFolderLock &lock, const Platform &platform);

} // namespace anunciel
