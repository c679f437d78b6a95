#pragma once

// What the once-a-second readings of the link have shown of the channel, shared by every
// send that waits for it: how long both sides have been free without a break, when it was
// last busy, and whether anything went on since a given moment. No reading is made here.

#include "core/WallClock.h"

#include <optional>

namespace anunciel {

class ChannelWatch
{
public:
    // A reading of both sides; a side whose reading failed counts as free, as sends do.
    void observe(WallMs at, bool busy);
    // This station sent an announcement, keying from `at`.
    void noteOwnSend(WallMs at);

    // Both sides seen free, without a break, for at least `seconds` up to `now`. With 0 the
    // past asks nothing: the reading made just before the send decides.
    bool freeFor(WallMs now, int seconds) const;
    // The first free reading after the last busy one; nothing while busy.
    std::optional<WallMs> freeSince() const { return m_freeSince; }
    std::optional<WallMs> lastBusy() const { return m_lastBusy; }
    // Whether the channel was seen busy, or this station sent, at or after `from`.
    bool activitySince(WallMs from) const;

private:
    std::optional<WallMs> m_lastSeen;
    std::optional<WallMs> m_freeSince;
    std::optional<WallMs> m_lastBusy;
    std::optional<WallMs> m_lastOwnSend;
};

} // namespace anunciel
