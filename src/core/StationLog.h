#pragma once

// The station's record of what went out: every log line, dated, on standard error and
// appended to a text file in the station folder, so that an operator on Windows (where a
// window program has no standard error) can read it in Notepad and one on Linux with
// `tail -f`. The file is kept bounded: past its limit it becomes the older copy, replacing
// the one before. A file that cannot be written never stops anything: its lines wait (a
// bounded number of them) and the file is tried again with the next line.

#include "platform/Platform.h"

#include <QString>
#include <QStringList>

#include <optional>

#include <cstdio>
#include <functional>

namespace anunciel {

inline const QString kLogFile = QStringLiteral("registro.txt");
inline const QString kOlderLogFile = QStringLiteral("registro-anterior.txt");

class StationLog final : public Log
{
public:
    // Past this size the file becomes the older copy.
    static constexpr qint64 kDefaultLimit = 1024 * 1024;
    // Lines kept while the file cannot be written; past that the oldest go.
    static constexpr int kMaxWaiting = 200;

    // `folder`: where the file lives. `errors` (may be null): where every line goes too.
    StationLog(const Clock &clock, const QString &folder, std::FILE *errors = stderr,
               qint64 limit = kDefaultLimit);

    void line(const QString &text) override;
    void lineAt(const QDateTime &at, const QString &text) override;

    // Told, once each time, when the file stops taking lines (with why) and when it takes
    // them again (an empty text); told at once if the file is not taking them now.
    void setTroubleHandler(std::function<void(const QString &)> handler)
    {
        m_onTrouble = std::move(handler);
        if (m_onTrouble && m_inTrouble)
            m_onTrouble(m_troubleReason);
    }

    QString filePath() const { return m_path; }
    // The lines the file holds now, for the station's memory across a restart: empty when
    // there is no file yet, nothing when it is there but cannot be read.
    std::optional<QStringList> readBack() const;
    // Lines not yet in the file.
    int waiting() const { return int(m_waiting.size()); }

private:
    // Writes the waiting lines in one piece; the reason when it could not.
    QString writeWaiting();
    // Moves a full file aside; the reason when it could not.
    QString makeRoom(qint64 adding);
    void noteTrouble(const QString &reason);

    const Clock &m_clock;
    QString m_path;
    QString m_olderPath;
    std::FILE *m_errors;
    qint64 m_limit;
    QStringList m_waiting;
    bool m_inTrouble = false;
    QString m_troubleReason;
    std::function<void(const QString &)> m_onTrouble;
};

} // namespace anunciel
