#include "core/WallClock.h"

namespace anunciel {

WallMs wallMs(const QDate &date, const QTime &time)
{
    return date.toJulianDay() * kMsPerDay + (time.isValid() ? time.msecsSinceStartOfDay() : 0);
}

QString wallSecondsText(WallMs at)
{
    return QTime::fromMSecsSinceStartOfDay(int(at % kMsPerDay))
        .toString(QStringLiteral("HH:mm:ss"));
}

QString wallText(WallMs at)
{
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(at % kMsPerDay));
    return time.toString(time.second() == 0 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss"));
}

} // namespace anunciel
