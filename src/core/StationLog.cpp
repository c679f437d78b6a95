#include "core/StationLog.h"

#include "platform/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace anunciel {

namespace {

#ifdef Q_OS_WIN
constexpr char kLineEnd[] = "\r\n"; // Notepad's, and every Windows editor's
#else
constexpr char kLineEnd[] = "\n";
#endif

// Notepad takes a file without it for the local code page and shows the accents wrong.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

QString stamped(const QDateTime &at, const QString &text)
{
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + u' ' + text;
}

} // namespace

StationLog::StationLog(const Clock &clock, const QString &folder, std::FILE *errors, qint64 limit)
    : m_clock(clock), m_path(QDir(folder).filePath(kLogFile)),
      m_olderPath(QDir(folder).filePath(kOlderLogFile)), m_errors(errors), m_limit(limit)
{
}

void StationLog::line(const QString &text)
{
    lineAt(m_clock.dateTime(), text);
}

void StationLog::lineAt(const QDateTime &at, const QString &text)
{
    // A line holds no line break of its own: one entry, one line, whatever the text held.
    QString entry = stamped(at, text);
    entry.replace(u'\r', u' ').replace(u'\n', u' ');
    if (m_errors) {
        const QByteArray bytes = entry.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_errors);
        std::fflush(m_errors);
    }
    m_waiting << entry;
    while (m_waiting.size() > kMaxWaiting)
        m_waiting.removeFirst();
    const QString trouble = writeWaiting();
    if (trouble.isEmpty()) {
        if (m_inTrouble) {
            m_inTrouble = false;
            if (m_onTrouble)
                m_onTrouble(QString());
        }
        return;
    }
    noteTrouble(trouble);
}

QString StationLog::makeRoom(qint64 adding)
{
    const qint64 size = QFileInfo(m_path).size();
    if (size == 0 || size + adding <= m_limit)
        return {};
    if (QFile::exists(m_olderPath) && !QFile::remove(m_olderPath))
        return QStringLiteral("a cópia anterior \"%1\" não pôde ser substituída")
            .arg(QDir::toNativeSeparators(m_olderPath));
    QFile current(m_path);
    clearSystemError();
    if (!current.rename(m_olderPath))
        return QStringLiteral("o arquivo cheio não pôde ser renomeado (%1)")
            .arg(fileErrorText(current));
    return {};
}

QString StationLog::writeWaiting()
{
    QByteArray data;
    for (const QString &entry : std::as_const(m_waiting))
        data += entry.toUtf8() + kLineEnd;
    // A file that cannot be moved aside is not written: it must never grow without bound.
    if (const QString full = makeRoom(data.size()); !full.isEmpty())
        return full;

    // Unbuffered: what the system did not take is known at once, and can be taken back.
    QFile file(m_path);
    clearSystemError();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return fileErrorText(file);
    const qint64 before = file.size();
    if (before == 0)
        data.prepend(kByteOrderMark);
    clearSystemError();
    const qint64 written = file.write(data);
    if (written != data.size()) {
        const int code = lastSystemError();
        // A short write with no error: the system took only part of it.
        const QString why = written >= 0 && code == 0
                                ? QStringLiteral("gravação incompleta")
                                : fileErrorText(QFileDevice::WriteError, code);
        // Only what this write added goes: a line is in the file whole or not at all.
        file.resize(before);
        return why;
    }
    file.close();
    m_waiting.clear();
    return {};
}

void StationLog::noteTrouble(const QString &reason)
{
    if (m_inTrouble)
        return;
    m_inTrouble = true;
    m_troubleReason = reason;
    const QString text = QStringLiteral("Não foi possível gravar o registro em \"%1\": %2. As "
                                        "linhas ficam aqui e são gravadas na próxima vez que "
                                        "for possível.")
                             .arg(QDir::toNativeSeparators(m_path), reason);
    if (m_errors) {
        const QByteArray bytes = stamped(m_clock.dateTime(), text).toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_errors);
        std::fflush(m_errors);
    }
    if (m_onTrouble)
        m_onTrouble(reason);
}

std::optional<QStringList> StationLog::readBack() const
{
    QFile file(m_path);
    if (!file.exists())
        return QStringList();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.remove(u'\r');
    return text.split(u'\n', Qt::SkipEmptyParts);
}

} // namespace anunciel
