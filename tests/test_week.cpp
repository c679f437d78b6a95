// A week of the scheduler: 604,800 one-second ticks of the real window against the fake clock,
// with the link busy at times, a file that appears mid-week, the operator ticking and
// unticking slots, and a day on which the clock is set back an hour. Every enabled slot must
// be sent once for each occurrence of its second that finds the link free, and never more.

#include "support/Harness.h"
#include "support/TestFiles.h"
#include "support/WorkingFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtTest>

#include <array>
#include <map>

using namespace anunciel;
using namespace anunciel::test;

namespace {

constexpr int kDays = 7;
constexpr int kTicks = kDays * 86400;
constexpr int kDayMs = 86400 * 1000;
constexpr int kLeadMs = SecondTimer::kLeadMs; // ticks land just after the second begins

constexpr int at(int h, int m, int s)
{
    return (h * 3600 + m * 60 + s) * 1000;
}

} // namespace

class TestWeek : public QObject
{
    Q_OBJECT

private slots:
    void week();
};

void TestWeek::week()
{
    const WorkingFolder folder;

    // The station: a schedule saved earlier, and the files of slots 1, 3 and 4.
    QVERIFY(writeBytes(QStringLiteral("hora_msg.txt"), "08:00\r\n12:30\r\n00:00\r\n17:45:30\r\n"));
    QVERIFY(writeBytes(QStringLiteral("mensagem_msg.txt"),
                       "manha.wav\r\ntarde.wav\r\nmeia-noite.wav\r\nnoite.wav\r\n"));
    for (const char *wav : {"manha.wav", "meia-noite.wav", "noite.wav"})
        QVERIFY(writeBytes(QString::fromLatin1(wav), "RIFF"));
    const std::array<QString, 4> wavs{"manha.wav", "tarde.wav", "meia-noite.wav", "noite.wav"};

    Harness h;
    FakePlatform &fake = h.fake;
    fake.desktop.folder = folder.nativePath();

    int day = 0;
    int msOfDay = at(6, 0, 0) + kLeadMs;
    fake.clock.time = QTime::fromMSecsSinceStartOfDay(msOfDay);
    QVERIFY(h.start());
    FakeLink *link = h.link;
    QCOMPARE(h.enabledStates(), QStringLiteral("XXXX"));

    // What was sent, by slot and day, and when.
    std::array<std::array<int, kDays + 1>, 4> sent{};
    int sendsOffSecond = 0;
    std::map<std::string, int> slotOfPath;
    for (int i = 0; i < 4; ++i)
        slotOfPath[QDir::toNativeSeparators(folder.filePath(wavs[i])).toStdString()] = i;
    const std::array<int, 4> dueMs{at(8, 0, 0), at(12, 30, 0), at(0, 0, 0), at(17, 45, 30)};
    link->onCall = [&](const FakeLink::Call &call) {
        if (call.op != "PlayFile")
            return;
        const auto found = slotOfPath.find(call.arg);
        QVERIFY2(found != slotOfPath.end(), call.arg.c_str());
        const int slot = found->second;
        ++sent[slot][day];
        if (fake.clock.time.msecsSinceStartOfDay() / 1000 != dueMs[slot] / 1000)
            ++sendsOffSecond;
    };
    std::vector<std::pair<int, QTime>> boxes; // day and time of each box
    fake.boxes.whileOpen = [&](const FakeBoxes::Shown &) {
        boxes.emplace_back(day, fake.clock.time);
    };

    // The link's state in a second of a day, as the scenario has it.
    const auto rfBusy = [](int d, int ms) {
        if (d == 1 && ms >= at(7, 59, 50) && ms < at(8, 0, 6))
            return true; // a long contact over the 08:00 announcement
        if (d == 5)
            return (ms / 1000) % 2 == 1; // busy every other second, free at every due second
        return false;
    };
    const auto ipBusy = [](int d, int ms) {
        if (d == 3 && ms < at(1, 0, 0))
            return true; // a link over midnight
        if (d == 4 && (ms / 1000 == at(17, 45, 29) / 1000 || ms / 1000 == at(17, 45, 31) / 1000))
            return true; // busy just before and after 17:45:30, free in it
        return false;
    };

    bool setBack = false;
    const QDate firstDay = fake.clock.date;
    QElapsedTimer elapsed;
    elapsed.start();
    for (int tick = 0; tick < kTicks; ++tick) {
        const int second = msOfDay - kLeadMs;
        // The operator and the file system.
        if ((day == 1 && second == at(9, 0, 0)) || (day == 2 && second == at(11, 0, 0))) {
            // Slot 2 ticked again: on day 1 before its file exists, so reported again.
            h.toggle(1);
            QVERIFY(h.enabled(1)->isChecked());
        }
        if (day == 2 && second == at(10, 0, 0))
            QVERIFY(writeBytes(wavs[1], "RIFF"));
        if (day == 6 && second == at(12, 0, 0)) {
            h.toggle(3);
            QVERIFY(!h.enabled(3)->isChecked());
        }
        // The clock is set back an hour at 08:30 on day 4: 07:30 to 08:29:59 come twice.
        if (day == 4 && second == at(8, 30, 0) && !setBack) {
            setBack = true;
            msOfDay -= at(1, 0, 0);
        }

        fake.clock.date = firstDay.addDays(day);
        fake.clock.time = QTime::fromMSecsSinceStartOfDay(msOfDay);
        link->rfValue = rfBusy(day, msOfDay) ? -1 : 0;
        link->ipValue = ipBusy(day, msOfDay) ? 1 : 0;
        h.s().onSecond();

        // The next tick: one second on, whatever a send's pause did meanwhile.
        msOfDay += 1000;
        if (msOfDay >= kDayMs) {
            msOfDay -= kDayMs;
            ++day;
        }
    }
    const qint64 ms = elapsed.elapsed();
    QVERIFY(setBack);
    // Seven days of ticks, one hour of them spent again on day 4.
    QCOMPARE(day, 7);
    QCOMPARE(msOfDay, at(5, 0, 0) + kLeadMs);

    // Expected sends per day (0 to 7), from the scenario above.
    const std::array<std::array<int, kDays + 1>, 4> expected{{
        // 08:00 daily; day 1 RF busy over it; day 4 the clock passes 08:00 twice, and one
        // occurrence goes once.
        {1, 0, 1, 1, 1, 1, 1, 0},
        // 12:30: file missing, slot unticked at the first tick and again on day 1 after
        // being ticked; file there from day 2 10:00, ticked at 11:00.
        {0, 0, 1, 1, 1, 1, 1, 0},
        // 00:00: days 1 to 7 (the week starts at 06:00); day 3 IP busy over midnight.
        {0, 1, 1, 0, 1, 1, 1, 1},
        // 17:45:30 daily until unticked on day 6 at 12:00; day 4 free in that very second.
        {1, 1, 1, 1, 1, 1, 0, 0},
    }};
    int total = 0;
    for (int slot = 0; slot < 4; ++slot) {
        for (int d = 0; d <= kDays; ++d) {
            if (sent[slot][d] != expected[slot][d])
                QFAIL(qPrintable(QStringLiteral("slot %1 day %2: sent %3 times, expected %4")
                                     .arg(slot + 1)
                                     .arg(d)
                                     .arg(sent[slot][d])
                                     .arg(expected[slot][d])));
            total += sent[slot][d];
        }
    }
    QCOMPARE(total, 23);
    QCOMPARE(sendsOffSecond, 0);
    // Every send keyed, played and unkeyed, each paused 1000 ms.
    QCOMPARE(link->count("PlayFile"), total);
    QCOMPARE(link->count("SetTransmit"), 2 * total);
    QCOMPARE(fake.pause.pauses.size(), size_t(total));

    // The missing file was reported at the first tick and after the tick of day 1 09:00.
    QCOMPARE(fake.boxes.texts(), QStringList({QStringLiteral("O arquivo não Existe!"),
                                              QStringLiteral("O arquivo não Existe!")}));
    QCOMPARE(boxes.size(), size_t(2));
    QCOMPARE(boxes[0], std::make_pair(0, QTime(6, 0, 0, kLeadMs)));
    QCOMPARE(boxes[1], std::make_pair(1, QTime(9, 0, 0, kLeadMs)));

    QCOMPARE(h.enabledStates(), QStringLiteral("XXX."));
    QCOMPARE(h.clock()->text(), QStringLiteral("04:59:59"));

    std::array<int, 4> perSlot{};
    for (int slot = 0; slot < 4; ++slot)
        for (int d = 0; d <= kDays; ++d)
            perSlot[slot] += sent[slot][d];
    qInfo("%d ticks in %lld ms (%.1f us a tick); %d sends: slot 1 %d, slot 2 %d, slot 3 %d, "
          "slot 4 %d",
          kTicks, ms, double(ms) * 1000.0 / kTicks, total, perSlot[0], perSlot[1], perSlot[2],
          perSlot[3]);
}

QTEST_MAIN(TestWeek)
#include "test_week.moc"
