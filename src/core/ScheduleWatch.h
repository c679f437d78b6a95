#pragma once

// Tells when a file of the station folder has changed on disk, once its writer is done. An
// editor's save is a burst (truncate and write, or write aside and rename over): the files are
// looked at only after the folder has been quiet for a moment, and a file counts as changed
// only when what it holds (or whether it exists) differs from the last look.

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <optional>

namespace anunciel {

class ScheduleWatch : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScheduleWatch)

public:
    static constexpr int kDefaultSettleMs = 500;

    // Watches `fileNames` in `folder`; what they hold now is the starting point.
    ScheduleWatch(const QString &folder, const QStringList &fileNames,
                  int settleMs = kDefaultSettleMs, QObject *parent = nullptr);

    const QString &folder() const { return m_folder; }

signals:
    // `fileName` as given; emitted once per settled change, in the order the names were given.
    void changed(const QString &fileName);

private:
    // The file's bytes; nothing when it does not exist or cannot be read.
    std::optional<QByteArray> contents(const QString &fileName) const;
    void watchFiles();
    void look();

    QString m_folder;
    QStringList m_fileNames;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QHash<QString, std::optional<QByteArray>> m_seen;
};

} // namespace anunciel
