#include "core/ScheduleWatch.h"

#include <QDir>
#include <QFile>

namespace anunciel {

namespace {

// A schedule file is four short lines: anything bigger is compared by its first megabyte.
constexpr qint64 kMaxCompared = 1024 * 1024;

} // namespace

ScheduleWatch::ScheduleWatch(const QString &folder, const QStringList &fileNames, int settleMs,
                             QObject *parent)
    : QObject(parent), m_folder(folder), m_fileNames(fileNames)
{
    for (const QString &name : m_fileNames)
        m_seen.insert(name, contents(name));
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &ScheduleWatch::look);
    // The folder tells of files made, removed and renamed over; the files themselves of
    // writes in place. Every event starts the quiet moment again.
    const auto restart = [this] { m_settle.start(); };
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, restart);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, restart);
    m_watcher.addPath(m_folder);
    watchFiles();
}

std::optional<QByteArray> ScheduleWatch::contents(const QString &fileName) const
{
    QFile file(QDir(m_folder).filePath(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(kMaxCompared);
}

// A file replaced by a rename is a new file: the watch on the old one is gone with it.
void ScheduleWatch::watchFiles()
{
    const QStringList watched = m_watcher.files();
    for (const QString &name : m_fileNames) {
        const QString path = QDir(m_folder).filePath(name);
        if (!watched.contains(path) && QFile::exists(path))
            m_watcher.addPath(path);
    }
}

void ScheduleWatch::look()
{
    watchFiles();
    for (const QString &name : m_fileNames) {
        std::optional<QByteArray> now = contents(name);
        if (now == m_seen.value(name))
            continue;
        m_seen.insert(name, std::move(now));
        emit changed(name);
    }
}

} // namespace anunciel
