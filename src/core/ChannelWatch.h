#pragma once

// What the once-a-second readings of the link have shown of the channel, shared by every
// send that waits for it: how long both sides have been free without a break, when it was
// last busy, and whether anything went on since a given moment. No reading is made here.
// Only what was read counts: readings further apart than a few seconds (the program was not
// running, the clock was stepped) leave the time between them unwatched.

#include "core/WallClock.h"

#include <optional>
#include <vector>

namespace anunciel {

class ChannelWatch
{
public:
    // Readings come once a second, held up by a send for a second or two at most: further
    // apart than this, the time between them was not watched.
    static constexpr WallMs kMaxReadingGapMs = 5 * kMsPerSecond;

    // A reading of both sides; a side whose reading failed counts as free, as sends do.
    void observe(WallMs at, bool busy);
    // This station sent an announcement, keying from `at`.
    void noteOwnSend(WallMs at);

    // Both sides seen free, without a break, for at least `seconds` up to `now`. With 0 the
    // past asks nothing: the reading made just before the send decides.
    bool freeFor(WallMs now, int seconds) const;
    // The same, counting only from `from` on; with 0, a free reading at or after `from`.
    bool freeWithin(WallMs from, WallMs now, int seconds) const;
    // The first free reading after the last busy one; nothing while busy.
    std::optional<WallMs> freeSince() const { return m_freeSince; }
    std::optional<WallMs> lastBusy() const { return m_lastBusy; }
    // Whether the channel was seen busy, or this station sent, at or after `from`.
    bool activitySince(WallMs from) const;

    // Since when the channel has been watched without a break up to `now`; nothing when the
    // last reading is not recent.
    std::optional<WallMs> watchedSince(WallMs now) const;
    // How long the readings showed the channel busy between `from` and `to`.
    WallMs busyWithin(WallMs from, WallMs to) const;

private:
    bool isLive(WallMs now) const;

    struct Stretch
    {
        WallMs from = 0;
        WallMs to = 0;
    };

    std::optional<WallMs> m_lastSeen;
    bool m_lastWasBusy = false;
    std::optional<WallMs> m_watchedSince;
    std::optional<WallMs> m_freeSince;
    std::optional<WallMs> m_lastBusy;
    std::optional<WallMs> m_lastOwnSend;
    std::vector<Stretch> m_busy; // the busy stretches of the last few hours, oldest first
};

} // namespace anunciel
