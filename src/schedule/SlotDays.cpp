#include "SlotDays.h"

#include <QStringList>
#include <QTime>

namespace anunciel {

namespace {

constexpr int kSearchDays = 400;

// A weekday name without its accent: index is QDate::dayOfWeek() % 7.
constexpr std::array<const char16_t *, 7> kWeekdays{u"dom", u"seg", u"ter", u"qua",
                                                    u"qui", u"sex", u"sab"};
// For the status line: whether the name takes "no" or "na", and the name.
constexpr std::array<const char16_t *, 7> kWeekdayPhrases{u"no domingo", u"na segunda", u"na terça",
                                                          u"na quarta",  u"na quinta",  u"na sexta",
                                                          u"no sábado"};

const QString kAccepted = QStringLiteral(
    "use dom seg ter qua qui sex sáb, 1º a 5º, último, de DD/MM/AAAA, até DD/MM/AAAA");

// A piece of what the operator wrote, quoted: a whole file's worth on one line would make a
// tooltip no screen can show.
QString quoted(const QString &text, int most = 60)
{
    const QString shown = text.size() > most ? text.left(most) + QChar(0x2026) : text;
    return QChar(u'"') + shown + QChar(u'"');
}

// The word with its accents taken off the few letters the grammar's words have.
QString plain(const QString &word)
{
    QString s = word;
    s.replace(QChar(u'á'), QChar(u'a')).replace(QChar(u'é'), QChar(u'e'));
    s.replace(QChar(u'ú'), QChar(u'u'));
    return s;
}

int weekdayOf(const QString &word)
{
    const QString s = plain(word);
    for (int i = 0; i < 7; ++i)
        if (s == QStringView(kWeekdays[i]))
            return i;
    return -1;
}

constexpr int kNotOrdinal = -1;
constexpr int kUltimo = 99;

// The digit of "1º", "3ª", "2o", "4a", "5°" (0 to 9 as written), kUltimo for "último", or
// kNotOrdinal.
int ordinalOf(const QString &word)
{
    const QString s = plain(word);
    if (s == u"ultimo" || s == u"ultima")
        return kUltimo;
    if (s.size() != 2 || s[0] < u'0' || s[0] > u'9')
        return kNotOrdinal;
    const QChar mark = s[1];
    if (mark != u'º' && mark != u'ª' && mark != u'o' && mark != u'a' && mark != u'°')
        return kNotOrdinal;
    return s[0].unicode() - u'0';
}

bool looksLikeDate(const QString &word)
{
    return !word.isEmpty() && word[0] >= u'0' && word[0] <= u'9' && word.contains(u'/');
}

// DD/MM/AAAA (day and month of one or two digits); an invalid QDate when it is no such day,
// nothing when it is not written so.
std::optional<QDate> readDate(const QString &word)
{
    const QStringList parts = word.split(u'/');
    if (parts.size() != 3)
        return std::nullopt;
    const std::array<std::pair<int, int>, 3> widths{{{1, 2}, {1, 2}, {4, 4}}};
    std::array<int, 3> values{};
    for (int i = 0; i < 3; ++i) {
        const QString &part = parts[i];
        if (part.size() < widths[i].first || part.size() > widths[i].second)
            return std::nullopt;
        int value = 0;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = value * 10 + (c.unicode() - u'0');
        }
        values[i] = value;
    }
    return QDate(values[2], values[1], values[0]);
}

QString dateText(QDate day)
{
    return day.toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

bool SlotDays::includes(QDate day) const
{
    if (!day.isValid() || (from && day < *from) || (until && day > *until))
        return false;
    if (weekdays && !(weekdays & (1u << (day.dayOfWeek() % 7))))
        return false;
    if (ordinals) {
        const bool nth = ordinals & (1u << ((day.day() - 1) / 7));
        const bool last = (ordinals & (1u << kLast)) && day.day() + 7 > day.daysInMonth();
        if (!nth && !last)
            return false;
    }
    return true;
}

SlotDaysRead parseSlotDays(const QString &line)
{
    SlotDaysRead result;
    QString text = line.normalized(QString::NormalizationForm_C);
    text.replace(u',', u' ');
    const QStringList written = text.simplified().split(u' ', Qt::SkipEmptyParts);
    const auto fail = [&](const QString &what) {
        result.days = {};
        result.error = quoted(line.trimmed()) + QStringLiteral(": ") + what;
        return result;
    };

    QString firstOrdinal;
    for (qsizetype i = 0; i < written.size(); ++i) {
        const QString word = written[i].toLower();
        if (const int weekday = weekdayOf(word); weekday >= 0) {
            result.days.weekdays |= 1u << weekday;
            continue;
        }
        if (const int ordinal = ordinalOf(word); ordinal != kNotOrdinal) {
            if (ordinal == 0)
                return fail(quoted(written[i]) + QStringLiteral(": o primeiro é 1º"));
            if (ordinal != kUltimo && ordinal > SlotDays::kLast)
                return fail(quoted(written[i]) +
                            QStringLiteral(": um mês tem no máximo cinco de cada dia da semana "
                                           "(1º a 5º, ou último)"));
            result.days.ordinals |= 1u << (ordinal == kUltimo ? SlotDays::kLast : ordinal - 1);
            if (firstOrdinal.isEmpty())
                firstOrdinal = written[i];
            continue;
        }
        const QString bare = plain(word);
        if (bare == u"de" || bare == u"ate") {
            const bool isFrom = bare == u"de";
            if (i + 1 == written.size())
                return fail(quoted(written[i]) + QStringLiteral(" sem a data (DD/MM/AAAA) depois"));
            const QString &next = written[++i];
            const std::optional<QDate> day = readDate(next);
            if (!day)
                return fail(quoted(next, 30) +
                            QStringLiteral(" não é uma data no formato DD/MM/AAAA"));
            if (!day->isValid())
                return fail(QStringLiteral("a data ") + quoted(next) +
                            QStringLiteral(" não existe"));
            std::optional<QDate> &slot = isFrom ? result.days.from : result.days.until;
            if (slot)
                return fail(quoted(written[i - 1]) + QStringLiteral(" aparece duas vezes"));
            slot = day;
            continue;
        }
        if (looksLikeDate(word))
            return fail(QStringLiteral("falta \"de\" ou \"até\" antes da data ") +
                        quoted(written[i], 30));
        return fail(quoted(written[i], 30) + QStringLiteral(" não é uma palavra conhecida (") +
                    kAccepted + QChar(u')'));
    }
    // "1º" alone would be the first seven days of every month, which nobody means.
    if (result.days.ordinals && !result.days.weekdays)
        return fail(
            quoted(firstOrdinal) +
            QStringLiteral(" precisa de um dia da semana ao lado (por exemplo \"1º sáb\")"));
    if (result.days.from && result.days.until && *result.days.from > *result.days.until)
        return fail(QStringLiteral("o primeiro dia (de %1) é depois do último (até %2)")
                        .arg(dateText(*result.days.from), dateText(*result.days.until)));
    return result;
}

DaysFileRead readDaysFile(const QString &fileName)
{
    DaysFileRead result;
    const ScheduleRead read = readSchedule(fileName);
    switch (read.status) {
    case ScheduleRead::Status::Missing:
        result.status = DaysFileRead::Status::Missing;
        break;
    case ScheduleRead::Status::Unreadable:
        result.status = DaysFileRead::Status::Unreadable;
        result.reason = read.reason;
        for (SlotDaysRead &slot : result.lines)
            slot.error =
                QStringLiteral("o arquivo %1 não pôde ser lido (%2)").arg(kDaysFile, read.reason);
        break;
    case ScheduleRead::Status::Ok:
        result.status = DaysFileRead::Status::Ok;
        for (int i = 0; i < 4; ++i)
            result.lines[i] = parseSlotDays(read.column[i]);
        break;
    }
    return result;
}

std::optional<QDateTime> nextSend(const SlotDays &days, int secondOfDay, const QDateTime &after)
{
    if (!after.isValid() || secondOfDay < 0 || secondOfDay >= 86400)
        return std::nullopt;
    const QTime time = QTime::fromMSecsSinceStartOfDay(secondOfDay * 1000);
    const QDate afterDay = after.date();
    const bool laterToday = secondOfDay * 1000 > after.time().msecsSinceStartOfDay();
    QDate day = laterToday ? afterDay : afterDay.addDays(1);
    // A first day far ahead: the search starts there, not 400 days from now.
    if (days.from && *days.from > day)
        day = *days.from;
    for (int i = 0; i < kSearchDays; ++i, day = day.addDays(1)) {
        if (days.until && day > *days.until)
            return std::nullopt;
        if (!days.includes(day))
            continue;
        // The wall clock's own terms: a day whose clock never shows that time has no send.
        QDateTime at = after;
        at.setDate(day);
        at.setTime(time);
        if (at.isValid() && at.date() == day && at.time() == time)
            return at;
    }
    return std::nullopt;
}

QString dayPhrase(QDate day, QDate today)
{
    const qint64 ahead = today.daysTo(day);
    if (ahead == 0)
        return {};
    if (ahead == 1)
        return QStringLiteral("amanhã");
    const QString format =
        ahead > 183 || ahead < 0 ? QStringLiteral("dd/MM/yyyy") : QStringLiteral("dd/MM");
    return QStringView(kWeekdayPhrases[day.dayOfWeek() % 7]).toString() + QStringLiteral(", ") +
           day.toString(format);
}

QString sendPhrase(const QDateTime &at, QDate today)
{
    const QTime time = at.time();
    const QString clock =
        QStringLiteral("às ") +
        time.toString(time.second() ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    const QString day = dayPhrase(at.date(), today);
    if (day.isEmpty())
        return clock;
    if (today.daysTo(at.date()) == 1)
        return day + QChar(u' ') + clock;
    return day + QStringLiteral(", ") + clock;
}

QString badDaysLogText(int slot, const SlotDaysRead &read)
{
    return QStringLiteral("mensagem %1: dias em %2 não reconhecidos: %3; a mensagem não sai até a "
                          "linha %1 ser corrigida")
        .arg(slot + 1)
        .arg(kDaysFile, read.error);
}

QString badDaysToolTip(const SlotDaysRead &read)
{
    return QStringLiteral("Dias não reconhecidos em %1: %2. Esta mensagem não sai até a linha ser "
                          "corrigida.")
        .arg(kDaysFile, read.error);
}

QString lastDayPassedText(int slot, QDate lastDay)
{
    return QStringLiteral("mensagem %1: o último dia, %2, já passou")
        .arg(slot + 1)
        .arg(dateText(lastDay));
}

std::optional<QString> LastDayNotes::take(int slot, const SlotDaysRead &read, QDate today)
{
    if (slot < 0 || slot >= int(m_told.size()) || !read.ok())
        return std::nullopt;
    const std::optional<QDate> last = read.days.lastDay();
    if (!last || !today.isValid() || today <= *last || m_told[slot] == today)
        return std::nullopt;
    m_told[slot] = today;
    return lastDayPassedText(slot, *last);
}

} // namespace anunciel
