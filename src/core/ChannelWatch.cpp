#include "core/ChannelWatch.h"

namespace anunciel {

void ChannelWatch::observe(WallMs at, bool busy)
{
    // A clock set back: what was seen "before" may be later; the free stretch starts again.
    if (m_lastSeen && at < *m_lastSeen)
        m_freeSince.reset();
    m_lastSeen = at;
    if (busy) {
        m_lastBusy = at;
        m_freeSince.reset();
    } else if (!m_freeSince) {
        m_freeSince = at;
    }
}

void ChannelWatch::noteOwnSend(WallMs at)
{
    m_lastOwnSend = at;
}

bool ChannelWatch::freeFor(WallMs now, int seconds) const
{
    if (seconds <= 0)
        return true;
    // The readings come from a coarse one-second timer, a few tens of milliseconds early or
    // late: N seconds of readings must not need one more second because of that.
    constexpr WallMs kReadingJitterMs = 100;
    return m_freeSince && now - *m_freeSince >= seconds * kMsPerSecond - kReadingJitterMs;
}

bool ChannelWatch::activitySince(WallMs from) const
{
    return (m_lastBusy && *m_lastBusy >= from) || (m_lastOwnSend && *m_lastOwnSend >= from);
}

} // namespace anunciel
