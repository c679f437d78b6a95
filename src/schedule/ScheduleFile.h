#pragma once

// The two schedule files: four lines of text, one per slot, in the system's 8-bit code page.

#include <QByteArray>
#include <QString>

#include <array>

namespace anunciel {

// The four schedule slots, numbered 1 to 4 to the operator and 0 to 3 inside.
inline constexpr int kSlotCount = 4;
using ScheduleColumn = std::array<QString, kSlotCount>;

inline const QString kTimesFile = QStringLiteral("hora_msg.txt");
inline const QString kNamesFile = QStringLiteral("mensagem_msg.txt");

// Four texts from file bytes: lines end at CR LF, a lone CR or a lone LF; lines after the
// fourth are ignored and missing ones are empty. The bytes are the code page, unless the four
// lines are valid UTF-8 holding something beyond ASCII, or the file starts with UTF-8's
// byte-order mark: then they are UTF-8 (a Linux editor's file).
ScheduleColumn decodeSchedule(const QByteArray &bytes);

// Four lines, each ended by CR LF; characters the code page lacks are written as "?".
QByteArray encodeSchedule(const ScheduleColumn &column);

// Text in the system's 8-bit code page (Windows-1252 off Windows), "?" for what it lacks.
QByteArray toCodePage(const QString &text);
QString fromCodePage(const QByteArray &bytes);

// A whole text file by the schedule files' rule: UTF-8 when it starts with UTF-8's byte-order
// mark (dropped) or is valid UTF-8 holding something beyond ASCII, the code page otherwise.
QString decodeText(const QByteArray &bytes);

struct ScheduleRead
{
    enum class Status
    {
        Ok,
        Missing,
        Unreadable
    };
    Status status = Status::Missing;
    ScheduleColumn column;
    QString reason; // why it could not be read, in Portuguese
};

// Reads a schedule file by the name given (relative to the working folder).
ScheduleRead readSchedule(const QString &fileName);

struct ScheduleWrite
{
    bool ok = false;
    QString reason; // why it could not be written, in Portuguese
};

// Replaces the file whole; the old contents stay intact unless the new ones are complete.
ScheduleWrite writeSchedule(const QString &fileName, const ScheduleColumn &column);

} // namespace anunciel
