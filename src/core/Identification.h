#pragma once

// The periodic identification: the station's identification file sent once in every
// interval, the intervals aligned to the clock from midnight (every 10 minutes: :00, :10...).
// Within its interval it waits for the channel to have been free for a while; an interval
// that never had a free channel is skipped, or identified over the QSO at its end, as the
// station chose. Only what the program watched of an interval counts: one it did not watch
// from its start, or whose activity came after a free stretch, is never called busy
// throughout nor identified over a QSO. One identification per interval at most, whatever
// the clock does. The sends themselves are the owner's.

#include "core/ChannelWatch.h"
#include "settings/StationSettings.h"

#include <QString>

#include <optional>
#include <set>

namespace anunciel {

class Identification
{
public:
    explicit Identification(const SendingSettings &settings = {});

    bool isOn() const { return !m_file.isEmpty(); }
    const QString &fileName() const { return m_file; }

    enum class Step
    {
        Wait,  // nothing to do in this tick
        Try,   // read the channel once more and send if it is free
        Force, // the interval ends, seen busy all along: read the channel once more (for the
               // record), then send whatever it shows, over the QSO
        Skip   // the interval ended without its identification: not sent
    };
    Step step(WallMs now, const ChannelWatch &channel);

    // The current interval is identified (or cannot be: its file is missing).
    void settle();
    // The interval holding `at` was identified already (by an earlier run, says the record):
    // it is not identified again.
    void noteIdentified(WallMs at);

    // "de 19:00 a 19:10": the interval the last step was about.
    QString intervalText() const;

    // What the record says of an identification sent at `sentAt`, after the reading that
    // preceded it: "enviada", or for a forced one over what it went and how long the channel
    // was seen busy in the interval.
    QString sentOutcome(WallMs sentAt, const ChannelWatch &channel) const;
    // What it says of a Skip: why, for the part of the interval the program watched.
    QString skippedOutcome() const;
    // For the status line at `now`: "identificação pendente até 19:10" while the current
    // interval still needs it, otherwise "próxima identificação a partir de 19:10".
    QString statusText(WallMs now) const;

private:
    struct Interval
    {
        WallMs start = 0;
        WallMs end = 0;
    };
    Interval intervalAt(WallMs at) const;
    void begin(const Interval &interval);
    // Takes in what the channel shows at `now`, inside the current interval.
    void watch(WallMs now, const ChannelWatch &channel);
    // Watched from its start to `until` without a break, and never free long enough.
    bool busyThroughout(WallMs until) const;

    QString m_file;
    WallMs m_intervalMs = 0;
    int m_freeSeconds = 0;
    bool m_overQso = false;
    bool m_onlyWithActivity = false;
    std::optional<Interval> m_current;
    bool m_settled = false;
    // When the interval came to need its identification: its start, or its first activity.
    std::optional<WallMs> m_dueFrom;
    // The part of the interval the program watched: from where its last unbroken watch
    // began to its last step, and whether that watch began at the interval's start.
    std::optional<WallMs> m_watchedFrom;
    WallMs m_watchedUntil = 0;
    bool m_watchedFromStart = true;
    bool m_hadFree = false; // free long enough at some moment of the interval
    bool m_tried = false;   // a Try whose reading found the channel busy
    Step m_lastStep = Step::Wait;
    // The starts of the intervals identified or skipped, for a clock set back into them.
    std::set<WallMs> m_done;
};

} // namespace anunciel
