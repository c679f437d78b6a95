// The station without its window, on a fake clock and a fake link: timelines of ticks and
// what went out, when, and what the log says.

#include "core/Station.h"
#include "support/FakeLink.h"
#include "support/FakePlatform.h"
#include "support/TestFiles.h"
#include "support/WorkingFolder.h"

#include <QtTest>

using namespace anunciel;
using namespace anunciel::test;

namespace {

// A tick at "HH:mm:ss" (600 ms into that second, as the timer delivers it); "+" before it
// for the next day, "=" to read both sides at that moment too.
struct Run
{
    WorkingFolder folder;
    FakePlatform fake;
    FakeLink *link = nullptr;
    std::unique_ptr<Station> station;
    QStringList sent; // "1 14:30:00": the slot (0 the identification) and when it played

    explicit Run(const StationSettingsRead &settings = {}, const QByteArray &days = {})
    {
        fake.desktop.folder = folder.nativePath();
        for (const char *name : {"a.wav", "b.wav", "id.wav"})
            writeBytes(folder.filePath(QLatin1String(name)), "RIFF");
        if (!days.isEmpty())
            writeBytes(folder.filePath(kDaysFile), days);
        station = std::make_unique<Station>(fake.platform(), [this] {
            auto made = std::make_unique<FakeLink>();
            link = made.get();
            made->onCall = [this](const FakeLink::Call &call) {
                if (call.op == "PlayFile")
                    sent << QStringLiteral("%1 %2").arg(slotOf(call.arg)).arg(fake.clock.timeText());
            };
            return LinkCreation{std::move(made), LinkStatus::success()};
        });
        QVERIFY(station->start(settings));
    }
    static int slotOf(const std::string &path)
    {
        return path.ends_with("id.wav") ? 0 : path.ends_with("b.wav") ? 2 : 1;
    }
    void slot(int slot, const QString &time, const QString &file = QStringLiteral("a.wav"))
    {
        station->setTime(slot, time);
        station->setFileName(slot, file);
        station->setEnabled(slot, Qt::Checked);
    }
    void ticks(const QStringList &moments)
    {
        for (QString at : moments) {
            if (at.startsWith(u'+')) {
                fake.clock.date = fake.clock.date.addDays(1);
                at.remove(0, 1);
            }
            const bool read = at.startsWith(u'=');
            if (read)
                at.remove(0, 1);
            fake.clock.time = QTime::fromString(at, QStringLiteral("HH:mm:ss")).addMSecs(600);
            if (read)
                station->readSides();
            station->onSecond();
        }
    }
    // Every run of seconds from `from` to `to`, sides read each second.
    static QStringList seconds(const QTime &from, const QTime &to)
    {
        QStringList list;
        for (QTime t = from; t <= to; t = t.addSecs(1))
            list << u'=' + t.toString(QStringLiteral("HH:mm:ss"));
        return list;
    }
    QStringList logged(const QString &containing) const
    {
        return fake.log.lines.filter(containing);
    }
};

} // namespace

class TestStation : public QObject
{
    Q_OBJECT

private slots:
    // Ticks that come late look back at the seconds they missed: each occurrence is decided
    // once, sent in its own second or told as not sent, and why.
    void lateTicks_data()
    {
        QTest::addColumn<QStringList>("times"); // slot 1, slot 2
        QTest::addColumn<QStringList>("ticks");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("missed"); // what each "não enviada" line says
        QTest::newRow("on time") << QStringList{"14:30"} << QStringList{"14:29:59", "14:30:00"}
                                 << QStringList{"1 14:30:00"} << QStringList{};
        QTest::newRow("stall across its second")
            << QStringList{"14:30"} << QStringList{"14:29:58", "14:29:59", "14:30:03"}
            << QStringList{}
            << QStringList{"mensagem 1 (horário 14:30) \"{}a.wav\": não enviada: o programa ficou "
                           "parado por 4,0 s e não viu esse segundo"};
        QTest::newRow("stall across two slots")
            << QStringList{"14:30", "14:31"} << QStringList{"14:29:59", "14:31:05"}
            << QStringList{}
            << QStringList{"mensagem 1 (horário 14:30)", "mensagem 2 (horário 14:31)"};
        QTest::newRow("across midnight") << QStringList{"00:00"} << QStringList{"23:59:59", "+00:00:02"}
                                         << QStringList{}
                                         << QStringList{"mensagem 1 (horário 00:00)"};
        QTest::newRow("clock set back over it")
            << QStringList{"14:30"}
            << QStringList{"14:29:59", "14:30:00", "14:30:01", "14:29:59", "14:30:00", "14:30:01"}
            << QStringList{"1 14:30:00"} << QStringList{};
        QTest::newRow("stall longer than the look back")
            << QStringList{"14:28"} << QStringList{"14:27:00", "14:30:30"} << QStringList{}
            << QStringList{};
        QTest::newRow("two slots in one second")
            << QStringList{"14:30", "14:30"} << QStringList{"14:29:59", "14:30:00", "14:30:02"}
            << QStringList{"1 14:30:00"}
            << QStringList{"mensagem 2 (horário 14:30) \"{}a.wav\": não enviada: outra mensagem "
                           "estava no ar nesse segundo"};
    }
    void lateTicks()
    {
        QFETCH(QStringList, times);
        QFETCH(QStringList, ticks);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, missed);
        Run run;
        for (int slot = 0; slot < times.size(); ++slot)
            run.slot(slot, times[slot]);
        run.ticks(ticks);
        QCOMPARE(run.sent, sent);
        const QStringList notSent = run.logged(QStringLiteral("não enviada"));
        QCOMPARE(notSent.size(), missed.size());
        for (const QString &expected : missed) {
            const QString line = QString(expected).replace(
                QStringLiteral("{}"), run.folder.nativePath() + QDir::separator());
            QVERIFY2(!notSent.filter(line).isEmpty(), qPrintable(notSent.join(u'\n')));
        }
        // A stall past the look-back is said once, for the whole stretch.
        QCOMPARE(run.logged(QStringLiteral("não foram conferidos")).size(),
                 QTest::currentDataTag() == QByteArray("stall longer than the look back") ? 1 : 0);
    }

    // The days a slot is for: on any other it is not due and leaves no line.
    void days_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<int>("logged");
        // The fake clock's day is Tuesday 08/12/2026.
        QTest::newRow("no file line") << QByteArray("\r\n") << QStringList{"1 14:30:00"} << 0;
        QTest::newRow("its weekday") << QByteArray("ter\r\n") << QStringList{"1 14:30:00"} << 0;
        QTest::newRow("another weekday") << QByteArray("qua\r\n") << QStringList{} << 0;
        QTest::newRow("last day passed") << QByteArray("até 30/11/2026\r\n") << QStringList{} << 1;
        QTest::newRow("unreadable line") << QByteArray("terça-feira\r\n") << QStringList{} << 1;
    }
    void days()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, sent);
        QFETCH(int, logged);
        Run run({}, line);
        run.slot(0, QStringLiteral("14:30"));
        run.ticks({"14:29:59", "14:30:00", "14:30:01"});
        QCOMPARE(run.sent, sent);
        QCOMPARE(run.logged(QStringLiteral("mensagem 1:")).size(), logged);
        QVERIFY(run.logged(QStringLiteral("não enviada")).isEmpty());
    }

    // A restart inside a sending window or an identified interval: what the record says went
    // out does not go again; without a record it does, and that is said.
    void restartRemembers_data()
    {
        QTest::addColumn<bool>("identification");
        QTest::addColumn<std::optional<QStringList>>("record");
        QTest::addColumn<QStringList>("sent");
        const std::optional<QStringList> none = QStringList{};
        QTest::newRow("slot sent in the window still open")
            << false
            << std::optional<QStringList>(QStringList{
                   "2026-12-08 14:30:05 mensagem 1 (horário 14:30) \"/e/a.wav\": enviada às "
                   "14:30:05, prevista para 14:30"})
            << QStringList{};
        // Started inside the window: it goes once the channel has been free for 3 s.
        QTest::newRow("slot not sent yet") << false << none << QStringList{"1 14:31:03"};
        QTest::newRow("yesterday's send") << false
                                          << std::optional<QStringList>(QStringList{
                                                 "2026-12-07 14:30:00 mensagem 1 (horário 14:30) "
                                                 "\"/e/a.wav\": enviada"})
                                          << QStringList{"1 14:31:03"};
        QTest::newRow("record unreadable") << false << std::optional<QStringList>()
                                           << QStringList{"1 14:31:03"};
        QTest::newRow("interval identified")
            << true
            << std::optional<QStringList>(
                   QStringList{"2026-12-08 14:30:20 identificação \"/e/id.wav\": enviada"})
            << QStringList{};
        QTest::newRow("interval not identified") << true << none << QStringList{"0 14:31:03"};
    }
    void restartRemembers()
    {
        QFETCH(bool, identification);
        QFETCH(std::optional<QStringList>, record);
        QFETCH(QStringList, sent);
        StationSettingsRead settings;
        if (identification)
            settings.settings.sending.idFile = QStringLiteral("id.wav");
        else
            settings.settings.sending.windowMinutes = 10;
        Run run(settings);
        run.fake.clock.time = QTime(14, 31, 0);
        run.station->recall(record);
        if (!identification)
            run.slot(0, QStringLiteral("14:30"));
        run.ticks(Run::seconds(QTime(14, 31, 0), QTime(14, 31, 5)));
        QCOMPARE(run.sent, sent);
        QCOMPARE(run.logged(QStringLiteral("O registro não pôde ser lido")).size(),
                 record ? 0 : 1);
    }

    // What the status line says beyond the last send and the next slot.
    void statusLine_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<Qt::CheckState>("box");
        QTest::addColumn<QStringList>("ticks");
        QTest::addColumn<QString>("says");
        QTest::newRow("time and file, box not ticked")
            << "14:30" << Qt::Unchecked << QStringList{"14:29:00"}
            << "Nenhuma mensagem marcada. Mensagem 1 tem horário e arquivo, mas não está marcada";
        QTest::newRow("ticked with no time")
            << "" << Qt::Checked << QStringList{"14:29:00"}
            << "Nenhuma mensagem marcada tem horário válido";
        QTest::newRow("sent today, next tomorrow")
            << "14:30" << Qt::Checked << QStringList{"14:29:59", "14:30:00"}
            << "Último envio: mensagem 1 às 14:30:00, enviada. Próxima: mensagem 1 amanhã às "
               "14:30";
    }
    void statusLine()
    {
        QFETCH(QString, time);
        QFETCH(Qt::CheckState, box);
        QFETCH(QStringList, ticks);
        QFETCH(QString, says);
        Run run;
        run.slot(0, time);
        run.station->setEnabled(0, box);
        run.ticks(ticks);
        QCOMPARE(run.station->statusText(), says);
    }
};

QTEST_GUILESS_MAIN(TestStation)
#include "test_station.moc"
