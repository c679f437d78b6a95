#pragma once

// The periodic identification: the station's identification file sent once in every
// interval, the intervals aligned to the clock from midnight (every 10 minutes: :00, :10...).
// Within its interval it waits for the channel to have been free for a while; an interval
// that never had a free channel is skipped, or identified over the QSO at its end, as the
// station chose. The sends themselves are the owner's.

#include "core/ChannelWatch.h"
#include "settings/StationSettings.h"

#include <QString>

#include <optional>

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
        Force, // send without reading: the interval ends (over the QSO)
        Skip   // the interval ended without a free channel: not sent
    };
    Step step(WallMs now, const ChannelWatch &channel);

    // The current interval is identified (or cannot be: its file is missing).
    void settle();

    // "de 19:00 a 19:10": the interval the last step was about.
    QString intervalText() const;

private:
    struct Interval
    {
        WallMs start = 0;
        WallMs end = 0;
    };
    Interval intervalAt(WallMs at) const;
    bool needed(WallMs now, const ChannelWatch &channel);

    QString m_file;
    WallMs m_intervalMs = 0;
    int m_freeSeconds = 0;
    bool m_overQso = false;
    bool m_onlyWithActivity = false;
    std::optional<Interval> m_current;
    bool m_settled = false;
    bool m_active = false; // the channel was busy, or this station sent, in this interval
};

} // namespace anunciel
