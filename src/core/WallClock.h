#pragma once

// Moments on the station's wall clock, the date counted: what the clock shows, so that a
// clock set back reads earlier and a wait that crosses midnight is one stretch of time.

#include "platform/Platform.h"

#include <QString>

namespace anunciel {

using WallMs = qint64;

inline constexpr WallMs kMsPerSecond = 1000;
inline constexpr WallMs kMsPerMinute = 60 * kMsPerSecond;
inline constexpr WallMs kMsPerDay = 24 * 60 * kMsPerMinute;

WallMs wallMs(const QDate &date, const QTime &time);
inline WallMs wallNow(const Clock &clock)
{
    return wallMs(clock.today(), clock.now());
}
inline WallMs startOfDay(WallMs at)
{
    return at - at % kMsPerDay;
}
inline QDate wallDate(WallMs at)
{
    return QDate::fromJulianDay(at / kMsPerDay);
}

// The latest moment at or before `now` at which the clock read `secondOfDay` (0..86399):
// today's, or yesterday's when today's is still to come.
inline WallMs lastOccurrence(int secondOfDay, WallMs now)
{
    const WallMs today = startOfDay(now) + secondOfDay * kMsPerSecond;
    return today > now ? today - kMsPerDay : today;
}

// "HH:mm", or "HH:mm:ss" when the moment is not on a whole minute.
QString wallText(WallMs at);
// "HH:mm:ss".
QString wallSecondsText(WallMs at);

} // namespace anunciel
