// The periodic identification over timelines of the channel's readings, without the window:
// what the program watched of each interval, the clock stepped forward and set back, and a
// restart inside an identified interval.

#include "core/ChannelWatch.h"
#include "core/Identification.h"

#include <QtTest>

using namespace anunciel;

namespace {

// The seconds of a timeline count from 19:00:00; the readings come 20 ms into each second.
const WallMs kBase = wallMs(QDate(2026, 12, 8), QTime(19, 0));
WallMs at(int second)
{
    return kBase + second * kMsPerSecond + 20;
}

struct Timeline
{
    QList<int> runs;        // pairs of first and last second read; a jump between is the clock's
    QList<int> busy;        // pairs [from, to)
    QList<int> ownSends;    // seconds at which the station sent an announcement
    QList<int> identified;  // seconds the record says were identified, before the run
    QList<int> busyForSend; // seconds whose reading just before a send finds the channel busy

    bool busyAt(int t) const
    {
        for (qsizetype b = 0; b + 1 < busy.size(); b += 2)
            if (t >= busy[b] && t < busy[b + 1])
                return true;
        return false;
    }
};

// Each second: the reading, then the step, done as the station does it; the record's lines.
QStringList play(const SendingSettings &settings, const Timeline &timeline)
{
    ChannelWatch channel;
    Identification id(settings);
    for (const int t : timeline.identified)
        id.noteIdentified(at(t));
    QStringList record;
    for (qsizetype r = 0; r + 1 < timeline.runs.size(); r += 2) {
        for (int t = timeline.runs[r]; t <= timeline.runs[r + 1]; ++t) {
            const bool busy = timeline.busyAt(t);
            channel.observe(at(t), busy);
            if (timeline.ownSends.contains(t))
                channel.noteOwnSend(at(t));
            const Identification::Step step = id.step(at(t), channel);
            if (step == Identification::Step::Skip) {
                record << QStringLiteral("%1 %2").arg(t).arg(id.skippedOutcome());
                id.settle();
                continue;
            }
            if (step == Identification::Step::Wait)
                continue;
            // Both read the channel once more; only a Try waits on when it is busy.
            const bool busyNow = busy || timeline.busyForSend.contains(t);
            channel.observe(at(t), busyNow);
            if (step == Identification::Step::Try && busyNow)
                continue;
            record << QStringLiteral("%1 %2").arg(t).arg(id.sentOutcome(at(t), channel));
            id.settle();
        }
    }
    return record;
}

} // namespace

class TestIdentification : public QObject
{
    Q_OBJECT

private slots:
    void timeline_data();
    void timeline();
};

void TestIdentification::timeline_data()
{
    QTest::addColumn<bool>("overQso");
    QTest::addColumn<bool>("onlyWithActivity");
    QTest::addColumn<QList<int>>("runs");
    QTest::addColumn<QList<int>>("busy");
    QTest::addColumn<QList<int>>("ownSends");
    QTest::addColumn<QList<int>>("identified");
    QTest::addColumn<QList<int>>("busyForSend");
    QTest::addColumn<QStringList>("record");

    const QList<int> none;
    const QList<int> twoIntervals{0, 1199};
    const QString first = QStringLiteral("(intervalo de 19:00 a 19:10)");
    const QString forced =
        QStringLiteral("enviada sobre o canal ocupado, no fim do intervalo de 19:00 a 19:10 "
                       "(canal visto ocupado por %1 no intervalo)");
    const QString watchedPart =
        QStringLiteral("o trecho do intervalo de 19:00 a 19:10 que o programa leu");

    QTest::newRow("quiet: each interval at its start")
        << false << false << twoIntervals << none << none << none << none
        << QStringList{"3 enviada", "600 enviada"};
    QTest::newRow("busy throughout, skipped: said so")
        << false << false << twoIntervals << QList<int>{0, 600} << none << none << none
        << QStringList{"600 não enviada: canal ocupado de 19:00 a 19:10", "603 enviada"};
    QTest::newRow("busy throughout, over the QSO in its last second")
        << true << false << twoIntervals << QList<int>{0, 600} << none << none << none
        << QStringList{"599 " + forced.arg("9 min 59 s"), "603 enviada"};
    QTest::newRow("forced, the last reading free but too short")
        << true << false << twoIntervals << QList<int>{0, 598} << none << none << none
        << QStringList{"599 enviada no fim do intervalo de 19:00 a 19:10, sem 3 s de canal "
                       "livre antes (canal visto ocupado por 9 min 58 s no intervalo)",
                       "601 enviada"};
    QTest::newRow("a send ran past its end: forced once, at once")
        << true << false << QList<int>{0, 597, 601, 1199} << QList<int>{0, 700} << none << none
        << none << QStringList{"601 " + forced.arg("10 min"), "703 enviada"};

    // The program started in the interval's last second, busy: neither forced nor called
    // busy throughout.
    for (const bool overQso : {true, false})
        QTest::addRow("started in its last second, over the QSO %s", overQso ? "sim" : "nao")
            << overQso << false << QList<int>{599, 1199} << QList<int>{0, 600} << none << none
            << none
            << QStringList{"600 não enviada: sem 3 s de canal livre de 19:09:59 a 19:10, " +
                               watchedPart,
                           "603 enviada"};
    // Stepped forward by 23 minutes at boot, during a QSO: what was read of the first interval
    // is said, the second one is identified once and only after 3 s of readings.
    for (const bool overQso : {true, false})
        QTest::addRow("clock stepped forward, over the QSO %s", overQso ? "sim" : "nao")
            << overQso << false << QList<int>{0, 100, 1450, 1799} << QList<int>{0, 101} << none
            << none << none
            << QStringList{"1450 não enviada: sem 3 s de canal livre de 19:00:00 a 19:01:40, " +
                               watchedPart,
                           "1453 enviada"};
    QTest::newRow("clock stepped forward, quiet: one each")
        << true << false << QList<int>{0, 100, 1450, 1799} << none << none << none << none
        << QStringList{"3 enviada", "1453 enviada"};
    QTest::newRow("clock set back inside an identified interval")
        << true << false << QList<int>{0, 400, 100, 700} << none << none << none << none
        << QStringList{"3 enviada", "600 enviada"};
    QTest::newRow("clock set back across two identified intervals")
        << true << false << QList<int>{0, 700, 300, 800} << none << none << none << none
        << QStringList{"3 enviada", "600 enviada"};
    QTest::newRow("clock set back into a skipped interval: said once")
        << false << false << QList<int>{0, 610, 300, 700} << QList<int>{0, 600} << none << none
        << none << QStringList{"600 não enviada: canal ocupado de 19:00 a 19:10", "603 enviada"};
    QTest::newRow("restart inside an interval the record says was identified")
        << true << false << QList<int>{300, 700} << none << none << QList<int>{100} << none
        << QStringList{"600 enviada"};

    // Only with activity: activity two seconds before the end, after almost ten free minutes.
    for (const bool overQso : {true, false})
        QTest::addRow("late activity, over the QSO %s", overQso ? "sim" : "nao")
            << overQso << true << twoIntervals << QList<int>{598, 700} << none << none << none
            << QStringList{"600 não enviada: sem 3 s de canal livre de 19:09:58, quando houve "
                           "atividade, a 19:10 " +
                               first,
                           "703 enviada"};
    QTest::newRow("activity from the start, busy throughout: over the QSO")
        << true << true << twoIntervals << QList<int>{0, 600} << none << none << none
        << QStringList{"599 " + forced.arg("9 min 59 s")};
    // Set back from 19:10:52 to 19:08:20: the QSO heard at 19:10:50 has not happened yet.
    QTest::newRow("clock set back: activity not yet heard does not count")
        << false << true << QList<int>{0, 652, 500, 1199} << QList<int>{650, 655} << none << none
        << none << QStringList{"658 enviada"};
    QTest::newRow("only with activity, quiet: none")
        << true << true << twoIntervals << none << none << none << none << QStringList{};
    QTest::newRow("an announcement is activity")
        << false << true << twoIntervals << none << QList<int>{300} << none << none
        << QStringList{"300 enviada"};
    QTest::newRow("free stretches, but busy at each reading for the send")
        << false << false << twoIntervals << QList<int>{10, 600} << none << none
        << QList<int>{3, 4, 5, 6, 7, 8, 9}
        << QStringList{"600 não enviada: o canal estava ocupado a cada leitura feita para o "
                       "envio, de 19:00:00 a 19:10 " +
                           first,
                       "603 enviada"};
}

void TestIdentification::timeline()
{
    QFETCH(bool, overQso);
    QFETCH(bool, onlyWithActivity);
    QFETCH(QList<int>, runs);
    QFETCH(QList<int>, busy);
    QFETCH(QList<int>, ownSends);
    QFETCH(QList<int>, identified);
    QFETCH(QList<int>, busyForSend);
    QFETCH(QStringList, record);

    SendingSettings settings;
    settings.idFile = QStringLiteral("id.wav");
    settings.idIntervalMinutes = 10;
    settings.freeChannelSeconds = 3;
    settings.idOverQso = overQso;
    settings.idOnlyWithActivity = onlyWithActivity;
    const QStringList got = play(settings, {runs, busy, ownSends, identified, busyForSend});
    QCOMPARE(got.join(u'\n'), record.join(u'\n'));
}

QTEST_GUILESS_MAIN(TestIdentification)
#include "test_identification.moc"
