#include "schedule/TimeOfDay.h"

namespace anunciel {

namespace {

// Value of exactly `count` ASCII digits at `pos`, or -1.
int digits(QStringView s, qsizetype pos, int count)
{
    if (pos + count > s.size())
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = s[pos + i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

std::optional<int> readTimeOfDay(QStringView text)
{
    const QStringView s = text.trimmed();
    const qsizetype colon = s.indexOf(u':');
    if (colon < 1 || colon > 2)
        return std::nullopt;
    const int hours = digits(s, 0, int(colon));
    const int minutes = digits(s, colon + 1, 2);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
        return std::nullopt;
    int seconds = 0;
    const qsizetype rest = colon + 3;
    if (s.size() != rest) {
        if (s.size() != rest + 3 || s[rest] != u':')
            return std::nullopt;
        seconds = digits(s, rest + 1, 2);
        if (seconds < 0 || seconds > 59)
            return std::nullopt;
    }
    return hours * 3600 + minutes * 60 + seconds;
}

bool isDue(QStringView text, const QTime &now)
{
    const std::optional<int> slotTime = readTimeOfDay(text);
    return slotTime && now.isValid() &&
           *slotTime == now.hour() * 3600 + now.minute() * 60 + now.second();
}

} // namespace anunciel
