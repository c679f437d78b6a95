#include "ScheduleFile.h"

#include "schedule/NormalFileSearch.h"

#include "platform/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace anunciel {

namespace {

constexpr char kSubstitute = 0x1a; // what the converter writes for a missing character

#ifdef Q_OS_WIN
// The ANSI code page, without Windows' "best fit": by default a character the code page
// lacks is written as a lookalike (Ａ as A, ＼ as a folder separator, ∞ as 8), so a saved
// file name would name another file. Missing characters are marked as off Windows instead.
QByteArray encodeInCodePage(QStringView text)
{
    if (text.isEmpty())
        return {};
    const auto wide = reinterpret_cast<LPCWCH>(text.utf16());
    const int length = int(text.size());
    const char substitute[] = {kSubstitute, '\0'};
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0,
                                         substitute, nullptr);
    if (size <= 0)
        return QByteArray(1, kSubstitute);
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, bytes.data(), size, substitute,
                        nullptr);
    return bytes;
}
// The ANSI code page, every byte kept: Qt's own converter for it drops a NUL at the end of
// the text, so a line of NULs would load shorter than it is.
QString decodeFromCodePage(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    const int length = int(bytes.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.constData(), length, nullptr, 0);
    if (size <= 0)
        return QString(length, QChar::ReplacementCharacter);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(CP_ACP, 0, bytes.constData(), length, reinterpret_cast<LPWSTR>(text.data()),
                        size);
    return text;
}
#else
// Windows-1252, so that a file moves between a Windows station and this one unchanged.
QByteArray encodeInCodePage(QStringView text)
{
    QStringEncoder encoder("windows-1252");
    return encoder.encode(text);
}
QString decodeFromCodePage(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1252");
    return decoder.decode(bytes);
}
#endif

// Why a name that is there is not a file that can be read, in Portuguese; nothing for a
// regular file, or for no entry at all. A link is followed step by step, so that one to a
// share that is not mounted names what is missing and a loop is told apart.
std::optional<QString> notAFile(const QString &fileName)
{
    QFileInfo info(fileName);
    if (info.isFile() || (!info.exists() && !info.isSymLink()))
        return std::nullopt;
    if (info.isDir())
        return QStringLiteral("é uma pasta, não um arquivo");
    if (info.exists())
        return QStringLiteral("não é um arquivo comum");
    // A link whose end is not there: followed as the system would, up to its own limit.
    constexpr int kMaxLinks = 40;
    for (int i = 0; i < kMaxLinks && info.isSymLink(); ++i) {
        const QString target = info.symLinkTarget();
        info = QFileInfo(target);
        if (!info.isSymLink() && !info.exists())
            return QStringLiteral("é um link simbólico para \"%1\", que não existe")
                .arg(QDir::toNativeSeparators(target));
    }
    return QStringLiteral("é um link simbólico que leva a si mesmo (ciclo de links)");
}

} // namespace

QByteArray toCodePage(const QString &text)
{
    QByteArray bytes = encodeInCodePage(text);
    // One byte for each character: every one was in the code page.
    if (bytes.size() == text.size() && !bytes.contains(kSubstitute))
        return bytes;
    // Some character was missing from the code page, or was one the converter drops
    // (unassigned code points, a lone surrogate): encode one code point at a time so that each
    // missing one becomes "?" (a real U+001A stays as it is).
    bytes.clear();
    for (qsizetype i = 0; i < text.size();) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const qsizetype len = pair ? 2 : 1;
        const QStringView one = QStringView(text).mid(i, len);
        const QByteArray encoded = encodeInCodePage(one);
        const bool kept = encoded.size() == 1 && !pair && !one[0].isSurrogate() &&
                          (encoded[0] != kSubstitute || one[0] == QChar(kSubstitute));
        bytes += kept ? encoded : QByteArray(1, '?');
        i += len;
    }
    return bytes;
}

QString fromCodePage(const QByteArray &bytes)
{
    return decodeFromCodePage(bytes);
}

QString decodeText(const QByteArray &bytes)
{
    static const QByteArray kUtf8Mark("\xef\xbb\xbf");
    if (bytes.startsWith(kUtf8Mark))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(kUtf8Mark.size()));
    const bool beyondAscii =
        std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) >= 0x80; });
    if (beyondAscii && QByteArrayView(bytes).isValidUtf8())
        return QString::fromUtf8(bytes);
    return fromCodePage(bytes);
}

ScheduleColumn decodeSchedule(const QByteArray &bytes)
{
    // A file saved by an editor that writes UTF-8 may start with its byte-order mark.
    static const QByteArray kUtf8Mark("\xef\xbb\xbf");
    const bool marked = bytes.startsWith(kUtf8Mark);

    // Where the four lines lie.
    std::array<QByteArrayView, 4> lines;
    qsizetype start = marked ? kUtf8Mark.size() : 0;
    const qsizetype n = bytes.size();
    for (QByteArrayView &line : lines) {
        if (start >= n)
            break;
        qsizetype end = start;
        while (end < n && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        line = QByteArrayView(bytes).sliced(start, end - start);
        start = end;
        if (start < n && bytes[start] == '\r') {
            ++start;
            if (start < n && bytes[start] == '\n')
                ++start;
        } else if (start < n) {
            ++start; // a lone LF
        }
    }

    // Text that a Linux editor saved (valid UTF-8 with something beyond ASCII) is read as
    // UTF-8; anything else is the code page, as the program writes it.
    bool utf8 = marked;
    if (!utf8) {
        bool beyondAscii = false;
        bool valid = true;
        for (const QByteArrayView line : lines) {
            beyondAscii = beyondAscii || std::any_of(line.begin(), line.end(),
                                                     [](char c) { return uchar(c) >= 0x80; });
            valid = valid && line.isValidUtf8();
        }
        utf8 = beyondAscii && valid;
    }

    ScheduleColumn column;
    for (int i = 0; i < 4; ++i) {
        // Every character kept: a mark at the start of a later line is text, not a mark.
        QStringDecoder fromUtf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        column[i] = utf8 ? fromUtf8.decode(lines[i]) : fromCodePage(lines[i].toByteArray());
    }
    return column;
}

QByteArray encodeSchedule(const ScheduleColumn &column)
{
    QByteArray bytes;
    for (const QString &line : column) {
        bytes += toCodePage(line);
        bytes += "\r\n";
    }
    return bytes;
}

ScheduleRead readSchedule(const QString &fileName)
{
    ScheduleRead result;
    if (!findsNormalFile(fileName)) {
        // Missing only when the name is not there at all: one that is there but cannot be
        // read as a file (a link to a share that is not mounted, a folder) is unreadable.
        const std::optional<QString> why = notAFile(fileName);
        result.status = why ? ScheduleRead::Status::Unreadable : ScheduleRead::Status::Missing;
        result.reason = why.value_or(QString());
        return result;
    }
    QFile file(fileName);
    clearSystemError();
    if (!file.open(QIODevice::ReadOnly)) {
        result.reason = fileErrorText(file);
        result.status = ScheduleRead::Status::Unreadable;
        return result;
    }
    // Only the first four lines matter: read until they are complete, not the whole file.
    QByteArray bytes;
    int lines = 0;
    qsizetype pos = 0;
    constexpr qint64 kChunk = 64 * 1024;
    while (lines < 4) {
        clearSystemError();
        const QByteArray chunk = file.read(kChunk);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                result.reason = fileErrorText(file);
                result.status = ScheduleRead::Status::Unreadable;
                return result;
            }
            break;
        }
        bytes += chunk;
        while (pos < bytes.size() && lines < 4) {
            const char c = bytes[pos];
            if (c == '\r') {
                if (pos + 1 == bytes.size())
                    break; // an LF may follow in the next chunk
                pos += bytes[pos + 1] == '\n' ? 2 : 1;
                ++lines;
            } else {
                ++pos;
                if (c == '\n')
                    ++lines;
            }
        }
    }
    if (lines == 4)
        bytes.truncate(pos);
    result.status = ScheduleRead::Status::Ok;
    result.column = decodeSchedule(bytes);
    return result;
}

ScheduleWrite writeSchedule(const QString &fileName, const ScheduleColumn &column)
{
    ScheduleWrite result;
    QSaveFile file(fileName);
    // A writable file in a folder where no new file can be made is still saved in place.
    file.setDirectWriteFallback(true);
    // Unbuffered, so that a short write shows here: a buffered one only fails at commit,
    // which Qt 6.4 then reports as success and the half-written file replaces the old one.
    clearSystemError();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // Qt refuses a folder itself, without asking the system.
        const QString system = fileErrorText(file);
        result.reason = QFileInfo(fileName).isDir() ? QStringLiteral("é uma pasta") : system;
        return result;
    }
    const QByteArray bytes = encodeSchedule(column);
    clearSystemError();
    if (file.write(bytes) != bytes.size()) {
        const int code = lastSystemError();
        result.reason = fileErrorText(QFileDevice::WriteError, code);
        file.cancelWriting();
        return result;
    }
    clearSystemError();
    if (!file.commit()) {
        result.reason = fileErrorText(file);
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace anunciel
