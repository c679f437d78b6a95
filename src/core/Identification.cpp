#include "core/Identification.h"

#include <algorithm>

namespace anunciel {

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

bool Identification::needed(WallMs now, const ChannelWatch &channel)
{
    // Latched while inside the interval: what happens after its end belongs to the next one.
    if (now >= m_current->start && now < m_current->end && channel.activitySince(m_current->start))
        m_active = true;
    return !m_onlyWithActivity || m_active;
}

Identification::Step Identification::step(WallMs now, const ChannelWatch &channel)
{
    if (m_current && (now < m_current->start || now >= m_current->end)) {
        // Over without its identification: skipped, and said once, before the next interval
        // begins; over the QSO now when its last second was missed (a send ran past it).
        if (!m_settled && now >= m_current->end && needed(now, channel))
            return m_overQso ? Step::Force : Step::Skip;
        m_current.reset();
    }
    if (!m_current) {
        m_current = intervalAt(now);
        m_settled = false;
        m_active = false;
    }
    if (m_settled || !needed(now, channel))
        return Step::Wait;
    if (channel.freeFor(now, m_freeSeconds))
        return Step::Try;
    // Its last second: over the QSO, or left to be skipped once it is over.
    if (m_overQso && now >= m_current->end - kMsPerSecond)
        return Step::Force;
    return Step::Wait;
}

void Identification::settle()
{
    m_settled = true;
}

QString Identification::intervalText() const
{
    if (!m_current)
        return {};
    return QStringLiteral("de %1 a %2").arg(wallText(m_current->start), wallText(m_current->end));
}

} // namespace anunciel
