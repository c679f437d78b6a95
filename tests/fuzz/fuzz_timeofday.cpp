// Slot time texts: arbitrary bytes, taken as typed text (UTF-8) and as a line of a schedule
// file (the code page), are read as a time of day the way the due check reads them.

#include "FuzzCheck.h"

#include "schedule/TimeOfDay.h"
#include "schedule/ScheduleFile.h"

#include <QTime>

#include <cstdint>
#include <optional>

using namespace anunciel;

namespace {

void checkText(const QString &text, int probeSecond)
{
    const std::optional<int> seconds = readTimeOfDay(text);
    const QTime probe = QTime::fromMSecsSinceStartOfDay(probeSecond * 1000);
    FUZZ_CHECK(!isDue(text, QTime()));
    if (!seconds) {
        // Unreadable: never due, whatever the clock says.
        FUZZ_CHECK(!isDue(text, probe));
        FUZZ_CHECK(!isDue(text, QTime(0, 0)));
        return;
    }
    FUZZ_CHECK(*seconds >= 0 && *seconds <= 86399);

    // The canonical spelling of the same time reads back the same.
    const QTime time = QTime::fromMSecsSinceStartOfDay(*seconds * 1000);
    FUZZ_CHECK(readTimeOfDay(time.toString(QStringLiteral("HH:mm:ss"))) == seconds);
    if (time.second() == 0)
        FUZZ_CHECK(readTimeOfDay(time.toString(QStringLiteral("HH:mm"))) == seconds);

    // Due for the whole of its second and in no other.
    FUZZ_CHECK(isDue(text, time));
    FUZZ_CHECK(isDue(text, time.addMSecs(999)));
    FUZZ_CHECK(!isDue(text, time.addSecs(1)));
    FUZZ_CHECK(!isDue(text, time.addSecs(-1)));
    FUZZ_CHECK(isDue(text, probe) == (probeSecond == *seconds));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const int probeSecond = int(qHash(bytes) % 86400);
    checkText(QString::fromUtf8(bytes), probeSecond);
    checkText(fromCodePage(bytes), probeSecond);
    return 0;
}
