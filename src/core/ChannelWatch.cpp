#include "core/ChannelWatch.h"

#include <algorithm>

namespace anunciel {

namespace {

// Longer than the longest identification interval, so that a whole one can be told of.
constexpr WallMs kBusyKeptMs = 3 * 60 * kMsPerMinute;

// The readings come from a coarse one-second timer, a few tens of milliseconds early or late:
// N seconds of readings must not need one more second because of that.
constexpr WallMs kReadingJitterMs = 100;

} // namespace

void ChannelWatch::observe(WallMs at, bool busy)
{
    // A clock set back: what was seen "after" it has not happened yet on this clock.
    if (m_lastSeen && at < *m_lastSeen) {
        std::erase_if(m_busy, [at](const Stretch &s) { return s.from > at; });
        if (!m_busy.empty())
            m_busy.back().to = std::min(m_busy.back().to, at);
        if (m_lastBusy && *m_lastBusy > at)
            m_lastBusy.reset();
        if (m_lastOwnSend && *m_lastOwnSend > at)
            m_lastOwnSend.reset();
    }
    const bool unbroken = m_lastSeen && at >= *m_lastSeen && at - *m_lastSeen <= kMaxReadingGapMs;
    if (!unbroken) {
        m_watchedSince = at;
        m_freeSince.reset();
    } else if (m_lastWasBusy && !m_busy.empty()) {
        m_busy.back().to = at; // busy until this reading
    }
    m_lastSeen = at;
    if (busy) {
        m_lastBusy = at;
        m_freeSince.reset();
        // A reading stands for its second.
        if (unbroken && m_lastWasBusy && !m_busy.empty())
            m_busy.back().to = at + kMsPerSecond;
        else
            m_busy.push_back({at, at + kMsPerSecond});
    } else if (!m_freeSince) {
        m_freeSince = at;
    }
    m_lastWasBusy = busy;
    const auto old = std::find_if(m_busy.begin(), m_busy.end(),
                                  [at](const Stretch &s) { return s.to >= at - kBusyKeptMs; });
    m_busy.erase(m_busy.begin(), old);
}

void ChannelWatch::noteOwnSend(WallMs at)
{
    m_lastOwnSend = at;
}

bool ChannelWatch::isLive(WallMs now) const
{
    return m_lastSeen && now >= *m_lastSeen && now - *m_lastSeen <= kMaxReadingGapMs;
}

bool ChannelWatch::freeFor(WallMs now, int seconds) const
{
    if (seconds <= 0)
        return true;
    return isLive(now) && m_freeSince &&
           now - *m_freeSince >= seconds * kMsPerSecond - kReadingJitterMs;
}

bool ChannelWatch::freeWithin(WallMs from, WallMs now, int seconds) const
{
    if (!isLive(now) || !m_freeSince || *m_lastSeen < from)
        return false;
    return now - std::max(*m_freeSince, from) >= seconds * kMsPerSecond - kReadingJitterMs;
}

bool ChannelWatch::activitySince(WallMs from) const
{
    return (m_lastBusy && *m_lastBusy >= from) || (m_lastOwnSend && *m_lastOwnSend >= from);
}

std::optional<WallMs> ChannelWatch::watchedSince(WallMs now) const
{
    return isLive(now) ? m_watchedSince : std::nullopt;
}

WallMs ChannelWatch::busyWithin(WallMs from, WallMs to) const
{
    WallMs total = 0;
    for (const Stretch &s : m_busy)
        total += std::max<WallMs>(0, std::min(s.to, to) - std::max(s.from, from));
    return total;
}

} // namespace anunciel
