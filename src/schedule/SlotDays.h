#pragma once

// The days each slot is for: `dias_msg.txt`, an optional third schedule file beside the other
// two, four lines, one per slot. A missing file or an empty line means every day, so a station
// without the file sends exactly as before.
//
// A line is words separated by blanks (or commas), in any order and any case, accents optional:
//   dom seg ter qua qui sex sáb   weekdays; several mean any of them ("seg qua sex")
//   1º .. 5º, último              which of its weekday in the month the day is: 1º is days 1 to
//                                 7, 2º days 8 to 14, ..., 5º days 29 to 31, último the last 7
//                                 days of the month (also 1o 1ª 1a 1°, ultimo, última); several
//                                 mean any of them ("1º 3º qua"); one needs a weekday beside it
//   de DD/MM/AAAA, até DD/MM/AAAA the first and the last day, both included (also "ate")
// The kinds combine as "all of these": "sáb 1º até 30/06/2027" is the first Saturday of every
// month up to that day. So an ordinal counts each weekday of the line on its own: "1º sáb dom"
// is the first Saturday and the first Sunday, whichever comes first in the month.

#include "ScheduleFile.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace anunciel {

inline const QString kDaysFile = QStringLiteral("dias_msg.txt");

struct SlotDays
{
    std::uint8_t weekdays = 0; // bit d for QDate::dayOfWeek() % 7 (0 Sunday .. 6 Saturday)
    std::uint8_t ordinals = 0; // bit n - 1 for the nth (1 to 5), bit kLast for "último"
    std::optional<QDate> from;
    std::optional<QDate> until;

    static constexpr int kLast = 5;

    bool everyDay() const { return weekdays == 0 && ordinals == 0 && !from && !until; }
    // Whether `day` (the station's local date) is one of these days.
    bool includes(QDate day) const;
    // The "até" day as written (the last included day may come before it), if there is one.
    std::optional<QDate> lastDay() const { return until; }

    bool operator==(const SlotDays &) const = default;
};

struct SlotDaysRead
{
    SlotDays days;
    // Empty when the line was read; otherwise, in Portuguese, the line quoted and what is wrong
    // with it. A slot whose line has an error is never due.
    QString error;

    bool ok() const { return error.isEmpty(); }
    // Whether a slot with this line is due on `day` (at its second).
    bool allows(QDate day) const { return ok() && days.includes(day); }
};

SlotDaysRead parseSlotDays(const QString &line);

struct DaysFileRead
{
    enum class Status
    {
        Missing, // every slot every day
        Unreadable,
        Ok
    };
    Status status = Status::Missing;
    // When Unreadable each slot carries the file's error, so that none is due on a guess.
    std::array<SlotDaysRead, 4> lines;
    QString reason; // why it could not be read, in Portuguese
};

// Reads the file by the name given (relative to the working folder), as the other two schedule
// files are read: CR LF or LF, Windows-1252 or UTF-8, the first four lines.
DaysFileRead readDaysFile(const QString &fileName = kDaysFile);

// The first moment strictly after `after` at which a slot whose second of the day is
// `secondOfDay` is due: on one of its days, at that time on the wall clock of `after`'s zone.
// A day on which the clock skips that time (a daylight-saving change) has no send. Nothing
// when no day within 400 days of `after` (or of the first day) is one of its days, which is
// the case once the last day has passed.
std::optional<QDateTime> nextSend(const SlotDays &days, int secondOfDay, const QDateTime &after);

// The day in the status line's words: "" for `today`, "amanhã", otherwise "na terça, 08/12"
// ("no sábado, 02/01"), with the year when the day is more than half a year away.
QString dayPhrase(QDate day, QDate today);
// When a send is, for "Próxima: mensagem 2 …": "às 21:00", "amanhã às 21:00",
// "na terça, 08/12, às 21:00" (seconds shown only when not on a whole minute).
QString sendPhrase(const QDateTime &at, QDate today);

// The log line for a slot (0 to 3) whose line could not be read, at start and at each reload.
QString badDaysLogText(int slot, const SlotDaysRead &read);
// The time field's tooltip (and a screen reader's description) for such a slot.
QString badDaysToolTip(const SlotDaysRead &read);
// "mensagem 3: o último dia, 31/12/2026, já passou".
QString lastDayPassedText(int slot, QDate lastDay);

// Says that a slot's last day has passed at most once a day per slot, however often asked.
class LastDayNotes
{
public:
    // The log line for `slot` when its last day is before `today` and this slot has not been
    // told of on `today` yet; otherwise nothing.
    std::optional<QString> take(int slot, const SlotDaysRead &read, QDate today);

private:
    std::array<QDate, 4> m_told;
};

} // namespace anunciel
