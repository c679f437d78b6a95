#pragma once

#include <QString>
#include <QTime>

#include <optional>

namespace anunciel {

// Seconds since midnight for a slot's time text, or nothing when it cannot be read as a time
// of day. Read: hours of one or two digits, a colon, two-digit minutes, optionally a colon
// and two-digit seconds, with blanks allowed around it (23:59:59 at most). Anything else,
// the empty text included, is not a time of day.
std::optional<int> readTimeOfDay(QStringView text);

// Whether a slot whose time text is `text` is due in the second `now` falls in.
bool isDue(QStringView text, const QTime &now);

} // namespace anunciel
