#pragma once

// A fresh temporary folder made the working folder, where the program reads and writes its
// schedule files; the folder the test ran in is restored when it goes, whatever happened.

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

namespace anunciel::test {

class WorkingFolder
{
    Q_DISABLE_COPY_MOVE(WorkingFolder)

public:
    WorkingFolder() : m_previous(QDir::currentPath())
    {
        if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path()))
            qFatal("cannot make a temporary working folder");
    }
    ~WorkingFolder() { QDir::setCurrent(m_previous); }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // The path as the platform writes it, as the program folder is given.
    QString nativePath() const { return QDir::toNativeSeparators(m_dir.path()); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

} // namespace anunciel::test
