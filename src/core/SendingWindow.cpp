#include "core/SendingWindow.h"

#include "schedule/TimeOfDay.h"

namespace anunciel {

SendingWindow::SendingWindow(const SendingSettings &settings)
    : m_windowMs(settings.windowMinutes * kMsPerMinute), m_freeSeconds(settings.freeChannelSeconds)
{
}

void SendingWindow::consider(int slot, WallMs now, const ShownSlot &shown,
                             std::optional<WallMs> previousTick)
{
    const std::optional<int> seconds = readTimeOfDay(shown.time);
    if (!seconds)
        return;
    // The latest occurrence of the slot's time at or before now: yesterday's, for a window
    // that crosses midnight; only on one of the slot's days.
    const WallMs occurrence = lastOccurrence(*seconds, now);
    if (!shown.days.allows(wallDate(occurrence)))
        return;
    const WallMs since = now - occurrence;
    if (since >= m_windowMs)
        return;
    // Came due since the tick before; after a clock set back, only in its own second.
    const bool cameDue =
        previousTick && *previousTick <= now ? occurrence > *previousTick : since < kMsPerSecond;
    if (previousTick && !cameDue)
        return;
    if (m_settled[slot] == occurrence || (m_waits[slot] && m_waits[slot]->occurrence == occurrence))
        return;
    m_waits[slot] = Wait{occurrence, shown};
}

std::vector<int> SendingWindow::waiting() const
{
    std::vector<int> found;
    for (int slot = 0; slot < kSlotCount; ++slot)
        if (m_waits[slot])
            found.push_back(slot);
    return found;
}

SendingWindow::Step SendingWindow::step(int slot, WallMs now, const ShownSlot &shown,
                                        const ChannelWatch &channel) const
{
    const Wait &wait = *m_waits[slot];
    if (!shown.ticked || shown.time != wait.shown.time || shown.fileName != wait.shown.fileName)
        return Step::Stopped;
    if (now >= wait.occurrence + m_windowMs)
        return Step::Expired;
    // A clock set back before the slot's time: it waits for that time again.
    if (now < wait.occurrence)
        return Step::Wait;
    return channel.freeFor(now, m_freeSeconds) ? Step::Try : Step::Wait;
}

void SendingWindow::settle(int slot)
{
    if (m_waits[slot])
        m_settled[slot] = m_waits[slot]->occurrence;
    m_waits[slot].reset();
}

QString SendingWindow::sentOutcome(int slot, WallMs sentAt, const ChannelWatch &channel) const
{
    const WallMs occurrence = m_waits[slot]->occurrence;
    if (sentAt >= occurrence && sentAt - occurrence < kMsPerSecond)
        return QStringLiteral("enviada");
    QString outcome = QStringLiteral("enviada às %1, prevista para %2")
                          .arg(wallSecondsText(sentAt), wallText(occurrence));
    if (channel.lastBusy() && *channel.lastBusy() >= occurrence)
        outcome += QStringLiteral(", canal ocupado até %1")
                       .arg(wallSecondsText(channel.freeSince().value_or(sentAt)));
    return outcome;
}

QString SendingWindow::expiredOutcome(int slot) const
{
    const WallMs occurrence = m_waits[slot]->occurrence;
    return QStringLiteral("não enviada: canal ocupado de %1 a %2")
        .arg(wallText(occurrence), wallText(occurrence + m_windowMs));
}

} // namespace anunciel
