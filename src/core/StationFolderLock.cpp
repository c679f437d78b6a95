#include "core/StationFolderLock.h"

#include "platform/Platform.h"

#include <QDir>

namespace anunciel {

StationFolderLock::StationFolderLock(const QString &folder)
    : m_folder(folder), m_lock(QDir(folder).filePath(fileName()))
{
    // The program runs for weeks: only a holder that is gone makes the lock stale, never
    // the lock's age.
    m_lock.setStaleLockTime(0);
}

StationFolderLock::Result StationFolderLock::acquire()
{
    if (m_lock.tryLock(0))
        return Result::Acquired;
    return m_lock.error() == QLockFile::LockFailedError ? Result::HeldByAnother
                                                        : Result::NotPossible;
}

qint64 StationFolderLock::holder() const
{
    qint64 pid = 0;
    QString host, application;
    return m_lock.getLockInfo(&pid, &host, &application) ? pid : 0;
}

bool claimStationFolder(StationFolderLock &lock, const Platform &platform)
{
    const QString folder = QDir::toNativeSeparators(lock.folder());
    switch (lock.acquire()) {
    case StationFolderLock::Result::Acquired:
        return true;
    case StationFolderLock::Result::NotPossible:
        platform.log->line(QStringLiteral("Aviso: não foi possível criar a trava \"%1\" na pasta "
                                          "%2; outra cópia do Anunciel aberta nesta pasta não "
                                          "seria percebida.")
                               .arg(StationFolderLock::fileName(), folder));
        return true;
    case StationFolderLock::Result::HeldByAnother:
        break;
    }
    const qint64 pid = lock.holder();
    const QString who = pid > 0 ? QStringLiteral(" (processo %1)").arg(pid) : QString();
    platform.log->line(QStringLiteral("O Anunciel já está aberto na pasta %1%2; esta cópia foi "
                                      "encerrada sem alterar nada.")
                           .arg(folder, who));
    platform.boxes->ok(nullptr,
                       QStringLiteral("O Anunciel já está aberto nesta pasta:\n%1\n\n"
                                      "Use a janela que já está aberta (ela pode estar "
                                      "minimizada). Duas cópias na mesma pasta enviariam cada "
                                      "mensagem duas vezes.\n\nEsta cópia será encerrada.")
                           .arg(folder),
                       programTitle(), MessageBoxes::Icon::Warning);
    return false;
}

} // namespace anunciel
