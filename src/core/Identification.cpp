#include "core/Identification.h"

#include <algorithm>

namespace anunciel {

namespace {

// A watch that began within this of an interval's start saw it from its start: the first
// reading of a run comes up to a second after the program or the interval starts.
constexpr WallMs kStartToleranceMs = 2 * kMsPerSecond;

QString durationText(WallMs ms)
{
    const WallMs seconds = (ms + kMsPerSecond / 2) / kMsPerSecond;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds % 60 == 0)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

} // namespace

Identification::Identification(const SendingSettings &settings)
    : m_file(settings.idFile), m_intervalMs(settings.idIntervalMinutes * kMsPerMinute),
      m_freeSeconds(settings.freeChannelSeconds), m_overQso(settings.idOverQso),
      m_onlyWithActivity(settings.idOnlyWithActivity)
{
}

Identification::Interval Identification::intervalAt(WallMs at) const
{
    const WallMs day = startOfDay(at);
    const WallMs start = day + (at - day) / m_intervalMs * m_intervalMs;
    // An interval that does not divide the day ends the day short.
    return {start, std::min(start + m_intervalMs, day + kMsPerDay)};
}

void Identification::begin(const Interval &interval)
{
    m_current = interval;
    m_settled = m_done.count(interval.start) > 0;
    m_dueFrom = m_onlyWithActivity ? std::nullopt : std::optional<WallMs>(interval.start);
    m_watchedFrom.reset();
    m_watchedUntil = interval.start;
    m_watchedFromStart = true;
    m_hadFree = false;
    m_tried = false;
}

void Identification::watch(WallMs now, const ChannelWatch &channel)
{
    const std::optional<WallMs> since = channel.watchedSince(now);
    if (!since)
        return;
    const WallMs from = std::max(*since, m_current->start);
    // A watch begun late, or broken and begun again, did not see the interval whole.
    if (*since > m_current->start + kStartToleranceMs)
        m_watchedFromStart = false;
    if (!m_watchedFrom || from > *m_watchedFrom)
        m_watchedFrom = from;
    m_watchedUntil = now;
    if (channel.freeWithin(m_current->start, now, m_freeSeconds))
        m_hadFree = true;
    // Latched while inside the interval: what happens after its end belongs to the next one.
    if (!m_dueFrom && channel.activitySince(m_current->start))
        m_dueFrom = now;
}

bool Identification::busyThroughout(WallMs until) const
{
    return m_watchedFrom && m_watchedFromStart && !m_hadFree &&
           until - m_watchedUntil <= ChannelWatch::kMaxReadingGapMs;
}

Identification::Step Identification::step(WallMs now, const ChannelWatch &channel)
{
    if (m_current && (now < m_current->start || now >= m_current->end)) {
        // Over without its identification: said once, before the next interval begins;
        // over the QSO now when its last second was missed (a send ran past it), but only
        // for an interval watched busy to its end.
        if (!m_settled && now >= m_current->end && m_dueFrom) {
            m_lastStep = m_overQso && busyThroughout(m_current->end) ? Step::Force : Step::Skip;
            return m_lastStep;
        }
        m_current.reset();
    }
    if (!m_current)
        begin(intervalAt(now));
    watch(now, channel);
    m_lastStep = Step::Wait;
    if (m_settled || !m_dueFrom)
        return m_lastStep;
    if (channel.freeFor(now, m_freeSeconds)) {
        m_tried = true;
        m_lastStep = Step::Try;
    } else if (m_overQso && now >= m_current->end - kMsPerSecond && busyThroughout(now)) {
        // Its last second: over the QSO, or left to be skipped once it is over.
        m_lastStep = Step::Force;
    }
    return m_lastStep;
}

void Identification::settle()
{
    m_settled = true;
    if (!m_current)
        return;
    m_done.insert(m_current->start);
    // A day back is as far as a clock is set back; older ones are of no use.
    m_done.erase(m_done.begin(), m_done.lower_bound(m_current->start - kMsPerDay));
}

void Identification::noteIdentified(WallMs at)
{
    const Interval interval = intervalAt(at);
    m_done.insert(interval.start);
    if (m_current && m_current->start == interval.start)
        m_settled = true;
}

QString Identification::intervalText() const
{
    if (!m_current)
        return {};
    return QStringLiteral("de %1 a %2").arg(wallText(m_current->start), wallText(m_current->end));
}

QString Identification::sentOutcome(WallMs sentAt, const ChannelWatch &channel) const
{
    if (m_lastStep != Step::Force || !m_current)
        return QStringLiteral("enviada");
    const QString seen = QStringLiteral("canal visto ocupado por %1 no intervalo")
                             .arg(durationText(channel.busyWithin(
                                 m_current->start, std::min(sentAt, m_current->end))));
    // The reading made just before: busy, or free too short a time.
    if (!channel.freeSince())
        return QStringLiteral("enviada sobre o canal ocupado, no fim do intervalo %1 (%2)")
            .arg(intervalText(), seen);
    return QStringLiteral("enviada no fim do intervalo %1, sem %2 s de canal livre antes (%3)")
        .arg(intervalText())
        .arg(m_freeSeconds)
        .arg(seen);
}

QString Identification::skippedOutcome() const
{
    if (!m_current)
        return {};
    if (busyThroughout(m_current->end))
        return QStringLiteral("não enviada: canal ocupado %1").arg(intervalText());
    if (!m_watchedFrom)
        return QStringLiteral("não enviada: o canal não foi lido no intervalo %1")
            .arg(intervalText());
    const QString noFree = m_freeSeconds > 0
                               ? QStringLiteral("sem %1 s de canal livre").arg(m_freeSeconds)
                               : QStringLiteral("sem canal livre");
    const WallMs until = m_current->end - m_watchedUntil <= ChannelWatch::kMaxReadingGapMs
                             ? m_current->end
                             : m_watchedUntil;
    if (m_tried)
        return QStringLiteral("não enviada: o canal estava ocupado a cada leitura feita para o "
                              "envio, de %1 a %2 (intervalo %3)")
            .arg(wallSecondsText(std::max(*m_watchedFrom, m_dueFrom.value_or(0))), wallText(until),
                 intervalText());
    if (m_dueFrom && *m_dueFrom > *m_watchedFrom + kStartToleranceMs)
        return QStringLiteral("não enviada: %1 de %2, quando houve atividade, a %3 (intervalo "
                              "%4)")
            .arg(noFree, wallSecondsText(*m_dueFrom), wallText(until), intervalText());
    return QStringLiteral("não enviada: %1 de %2 a %3, o trecho do intervalo %4 que o programa "
                          "leu")
        .arg(noFree, wallSecondsText(*m_watchedFrom), wallText(until), intervalText());
}

QString Identification::statusText(WallMs now) const
{
    const Interval interval = intervalAt(now);
    const bool current = m_current && m_current->start == interval.start;
    const bool pending = current && !m_settled && m_dueFrom && !m_done.count(interval.start);
    if (pending)
        return QStringLiteral("identificação pendente até %1").arg(wallText(interval.end));
    return QStringLiteral("próxima identificação a partir de %1%2")
        .arg(wallText(interval.end),
             m_onlyWithActivity ? QStringLiteral(", se houver atividade") : QString());
}

} // namespace anunciel
