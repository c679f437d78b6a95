// The scheduler tick, send now and the link indicators.

#include "Harness.h"
#include "TestFiles.h"
#include "WorkingFolder.h"
#include "core/SecondTimer.h"
#include "schedule/TimeOfDay.h"
#include "ui/Lamp.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace anunciel;
using namespace anunciel::test;

using Call = FakeLink::Call;

namespace {

// How the log ends a send's line.
const QString kSent = QStringLiteral("enviada");
const QString kRfBusy = QStringLiteral("não enviada: rádio (RF) ocupado");
const QString kIpBusy = QStringLiteral("não enviada: internet (IP) ocupada");
const QString kMissing = QStringLiteral("não enviada: o arquivo não existe");

const QColor kGreen(0, 255, 0); // free
const QColor kRed(255, 0, 0);   // busy

std::vector<Call> sendCalls(const std::string &path)
{
    return {{"SetTransmit", "1", false}, {"PlayFile", path, true}, {"SetTransmit", "0", false}};
}

std::vector<Call> withoutReads(const std::vector<Call> &calls)
{
    std::vector<Call> out;
    for (const Call &c : calls)
        if (c.op != "RfBusy" && c.op != "IpBusy")
            out.push_back(c);
    return out;
}

} // namespace

class TestScheduler : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<WorkingFolder>(); // for every test and every row
        m_h = std::make_unique<Harness>();
        m_h->fake.desktop.folder = m_folder->nativePath();
        QVERIFY(m_h->start());
        for (const char *name : {"um.wav", "dois.wav", "tres.wav"})
            QVERIFY(writeBytes(m_folder->filePath(name), "RIFF"));
    }
    void cleanup()
    {
        m_h.reset();
        m_folder.reset();
    }

    void sentOnceAtItsSecondAndAgainNextDay()
    {
        h().setSlot(0, "14:30", "um.wav");
        const int due = 14 * 3600 + 30 * 60;
        QList<int> sentAt;
        // Two whole days of ticks, starting just before the first occurrence.
        for (int t = due - 5; t < due - 5 + 2 * 86400; ++t) {
            const int before = link().count("PlayFile");
            h().tickAt(t % 86400);
            if (link().count("PlayFile") != before)
                sentAt << t;
        }
        QCOMPARE(sentAt, (QList<int>{due, due + 86400}));
    }

    void callOrderAndPause()
    {
        h().setSlot(0, "14:30", "um.wav");
        h().tickAt(14, 30, 0);
        const std::string path = (caminho() + "um.wav").toStdString();
        const std::vector<Call> expected{{"RfBusy", "", false},    {"RfBusy", "", false},
                                         {"IpBusy", "", false},    {"SetTransmit", "1", false},
                                         {"PlayFile", path, true}, {"SetTransmit", "0", false}};
        QCOMPARE(link().calls, expected);
        QCOMPARE(h().fake.pause.pauses, std::vector<int>{1000});
        QCOMPARE(h().clock()->text(), QStringLiteral("14:30:00"));
    }

    void sendNowCallOrder_data()
    {
        QTest::addColumn<int>("slot");
        for (int slot = 0; slot < kSlotCount; ++slot)
            QTest::addRow("envia%d", slot + 1) << slot;
    }
    void sendNowCallOrder()
    {
        // Each button sends its own slot's file, whatever the other slots hold, and the box
        // plays no part in it.
        QFETCH(int, slot);
        const QStringList files{"um.wav", "dois.wav", "tres.wav", "quatro.wav"};
        QVERIFY(writeBytes(m_folder->filePath(files[3]), "RIFF"));
        for (int i = 0; i < kSlotCount; ++i)
            h().fileName(i)->setText(files[i]);
        h().enabled(slot)->setCheckState(Qt::Unchecked);
        h().sendNow(slot);
        const std::string path = (caminho() + files[slot]).toStdString();
        std::vector<Call> expected{{"RfBusy", "", false}, {"IpBusy", "", false}};
        for (const Call &c : sendCalls(path))
            expected.push_back(c);
        QCOMPARE(link().calls, expected);
        QCOMPARE(h().fake.pause.pauses, std::vector<int>{1000});
        QVERIFY(h().fake.boxes.shown.empty());
        QCOMPARE(h().enabled(slot)->checkState(), Qt::Unchecked);
    }

    void busyLinkStopsBeforeKeying_data()
    {
        QTest::addColumn<QList<int>>("rf");
        QTest::addColumn<int>("ip");
        QTest::addColumn<bool>("scheduled");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QString>("logged"); // the outcome in the log line
        QTest::newRow("tick, first RF read busy") << QList<int>{1} << 0 << true << false << kRfBusy;
        QTest::newRow("tick, second RF read busy")
            << QList<int>{0, 1} << 0 << true << false << kRfBusy;
        QTest::newRow("tick, IP busy") << QList<int>{0, 0} << 1 << true << false << kIpBusy;
        QTest::newRow("tick, any nonzero is busy")
            << QList<int>{-7} << 0 << true << false << kRfBusy;
        QTest::newRow("tick, free") << QList<int>{0, 0} << 0 << true << true << kSent;
        QTest::newRow("send now, RF busy") << QList<int>{1} << 0 << false << false << kRfBusy;
        QTest::newRow("send now, IP busy") << QList<int>{0} << -1 << false << false << kIpBusy;
        // Send now reads RF once: a busy second read is never made.
        QTest::newRow("send now, reads RF once") << QList<int>{0, 1} << 0 << false << true << kSent;
    }
    void busyLinkStopsBeforeKeying()
    {
        QFETCH(QList<int>, rf);
        QFETCH(int, ip);
        QFETCH(bool, scheduled);
        QFETCH(bool, sent);
        QFETCH(QString, logged);
        h().setSlot(1, "14:30", "dois.wav");
        for (int v : rf)
            link().rfSequence.push_back(std::int16_t(v));
        link().ipValue = std::int16_t(ip);
        const QString at = scheduled ? QStringLiteral("14:30:00") : h().fake.clock.timeText();
        if (scheduled)
            h().tickAt(14, 30, 0);
        else
            h().sendNow(1);
        QCOMPARE(link().count("SetTransmit"), sent ? 2 : 0);
        QCOMPARE(link().count("PlayFile"), sent ? 1 : 0);
        QCOMPARE(h().fake.pause.pauses.size(), size_t(sent ? 1 : 0));
        QVERIFY(h().fake.boxes.shown.empty());
        // One line says what became of it, with the time it was tried.
        const QString how = scheduled ? "horário 14:30" : "enviar agora";
        QCOMPARE(h().fake.log.lines,
                 QStringList{QStringLiteral("%1 mensagem 2 (%2) \"%3\": %4")
                                 .arg(at, how, caminho() + "dois.wav", logged)});
        // No retry later in the minute.
        if (scheduled) {
            link().rfSequence.clear();
            link().ipValue = 0;
            for (int s = 1; s < 60; ++s)
                h().tickAt(14, 30, s);
            QCOMPARE(link().count("PlayFile"), sent ? 1 : 0);
        }
    }

    void twoSlotsInTheSameMinute_data()
    {
        QTest::addColumn<bool>("firstSent");
        QTest::newRow("first sent, second reads :01") << true;
        QTest::newRow("first busy, second sent in the same second") << false;
    }
    void twoSlotsInTheSameMinute()
    {
        QFETCH(bool, firstSent);
        h().setSlot(0, "14:30", "um.wav");
        h().setSlot(1, "14:30", "dois.wav");
        if (!firstSent)
            link().rfSequence = {1}; // only slot 1's first read is busy
        h().tickAt(14, 30, 0);
        const std::string one = (caminho() + "um.wav").toStdString();
        const std::string two = (caminho() + "dois.wav").toStdString();
        QCOMPARE(withoutReads(link().calls), sendCalls(firstSent ? one : two));
        if (!firstSent) // slot 2 read the link afresh
            QCOMPARE(link().count("RfBusy"), 3);
    }

    void missingFileBoxOncePerOccurrence()
    {
        h().setSlot(0, "14:30", "nao-existe.wav");
        h().setSlot(1, "14:30", "dois.wav");
        int nested = 0;
        bool tickedWhileOpen = false;
        h().fake.boxes.whileOpen = [&](const FakeBoxes::Shown &) {
            // The box stays open for three seconds; ticks go on meanwhile.
            tickedWhileOpen = h().enabled(0)->isChecked();
            for (int s = 0; s < 3; ++s) {
                ++nested;
                h().fake.clock.advance(1000);
                h().s().onSecond();
            }
        };
        h().tickAt(14, 29, 59);
        QCOMPARE(h().fake.boxes.shown.size(), size_t(1)); // no stacking while open
        const FakeBoxes::Shown &box = h().fake.boxes.shown[0];
        QCOMPARE(box.text, QStringLiteral("O arquivo não Existe!"));
        QCOMPARE(box.caption, QStringLiteral("Anunciel"));
        QCOMPARE(box.icon, MessageBoxes::Icon::NoIcon);
        QVERIFY(tickedWhileOpen);
        QCOMPARE(nested, 3);
        QCOMPARE(h().enabled(0)->checkState(), Qt::Unchecked); // unticked after OK
        // Slot 2 came due while the box was open and was sent on time.
        QCOMPARE(withoutReads(link().calls), sendCalls((caminho() + "dois.wav").toStdString()));
        for (int s = 5; s < 30; ++s)
            h().tickAt(14, 30, s);
        QCOMPARE(h().fake.boxes.shown.size(), size_t(1));
        // The log says why slot 1 went off the air, once, and that slot 2 went out.
        QCOMPARE(h().fake.log.lines,
                 (QStringList{QStringLiteral("mensagem 1 \"%1\": o arquivo não existe; a "
                                             "mensagem fica desmarcada e não será enviada")
                                  .arg(caminho() + "nao-existe.wav"),
                              QStringLiteral("14:30:00 mensagem 2 (horário 14:30) \"%1\": %2")
                                  .arg(caminho() + "dois.wav", kSent)}));
    }

    void sendNowMissingFile()
    {
        h().fileName(3)->setText("nao-existe.wav");
        h().enabled(3)->setCheckState(Qt::Checked);
        h().sendNow(3);
        QCOMPARE(h().fake.boxes.texts(), QStringList{"O arquivo não Existe!"});
        QVERIFY(link().calls.empty());
        QCOMPARE(h().enabled(3)->checkState(), Qt::Checked); // send now leaves the slot as it was
        QCOMPARE(h().fake.log.lines,
                 QStringList{QStringLiteral("14:29:59 mensagem 4 (enviar agora) \"%1\": %2")
                                 .arg(caminho() + "nao-existe.wav", kMissing)});
    }

    void grayedBoxIsNotEnabled()
    {
        h().setSlot(0, "14:30", "nao-existe.wav");
        h().enabled(0)->setCheckState(Qt::PartiallyChecked);
        h().setSlot(1, "14:30", "dois.wav");
        h().enabled(1)->setCheckState(Qt::PartiallyChecked);
        h().tickAt(14, 30, 0);
        QVERIFY(h().fake.boxes.shown.empty());
        QVERIFY(link().calls.empty());
        QCOMPARE(h().enabled(0)->checkState(), Qt::PartiallyChecked);
    }

    void everyLinkCallFailing()
    {
        link().failAll();
        h().setSlot(0, "14:30", "um.wav");
        h().setSlot(1, "14:30:01", "dois.wav"); // due after slot 1's pause
        h().time(1)->setText("14:30");
        h().tickAt(14, 30, 0);
        // Failed checks count as passed: the steps run, each call fails, nothing is shown.
        QCOMPARE(link().count("PlayFile"), 1);
        QCOMPARE(link().count("SetTransmit"), 2);
        QCOMPARE(h().fake.pause.pauses, std::vector<int>{1000});
        QVERIFY(h().fake.boxes.shown.empty());
        h().s().readSides();
        // Neither side could be read: shown unknown, never free.
        QCOMPARE(h().label("Label5")->text(), QStringLiteral("RF sem leitura"));
        QCOMPARE(h().label("Label8")->text(), QStringLiteral("IP sem leitura"));
        QVERIFY(lampColour("Shape1") != kGreen && lampColour("Shape1") != kRed);
        QVERIFY(lampColour("Shape2") != kGreen && lampColour("Shape2") != kRed);
        // A send now too: only the pause, and no message.
        h().sendNow(0);
        QCOMPARE(h().fake.pause.pauses.size(), size_t(2));
        QVERIFY(h().fake.boxes.shown.empty());
        // The log does not call them sent: the node did not take the file.
        const QStringList sends = h().fake.log.lines.filter(QStringLiteral(" mensagem "));
        QCOMPARE(sends.size(), 2);
        for (const QString &line : sends)
            QVERIFY2(
                line.endsWith(": não enviada: o arquivo não foi tocado (RPC server unavailable)"),
                qPrintable(line));
    }

    void programFolder_data()
    {
        QTest::addColumn<bool>("trailing");
        QTest::newRow("without separator") << false;
        QTest::newRow("already ends in separator") << true;
    }
    void programFolder()
    {
        QFETCH(bool, trailing);
        const QString folder = m_folder->nativePath();
        h().fake.desktop.folder = trailing ? folder + QDir::separator() : folder;
        h().fileName(0)->setText(" um.wav"); // blanks are part of the name
        QVERIFY(writeBytes(m_folder->filePath(" um.wav"), "RIFF"));
        h().sendNow(0);
        const QString expected = folder + QDir::separator();
        QCOMPARE(h().s().programFolderPath(), expected);
        QCOMPARE(withoutReads(link().calls), sendCalls((expected + " um.wav").toStdString()));
    }

    void emptyFileNameSendsTheFolder()
    {
        h().fileName(1)->clear();
        h().sendNow(1); // the folder holds files, so the search finds one
        QCOMPARE(withoutReads(link().calls), sendCalls(caminho().toStdString()));
    }

    void pathIsReadAgainForPlay()
    {
        // The name is read afresh after the checks: what is in the box when the file is
        // played is what gets played.
        h().fileName(0)->setText("um.wav");
        link().onCall = [&](const Call &c) {
            if (c.op == "IpBusy")
                h().fileName(0)->setText("dois.wav");
        };
        h().sendNow(0);
        QCOMPARE(withoutReads(link().calls), sendCalls((caminho() + "dois.wav").toStdString()));
    }

    void noSendInsideASend()
    {
        h().setSlot(0, "14:30", "um.wav");
        h().setSlot(1, "14:30", "dois.wav");
        link().onCall = [&](const Call &c) {
            if (c.op == "PlayFile" && c.arg.find("um.wav") != std::string::npos) {
                h().sendNow(1); // as if a message pump delivered them here
                h().s().onSecond();
                h().s().readSides();
            }
        };
        h().sendNow(0);
        QCOMPARE(link().count("PlayFile"), 1);
        QCOMPARE(link().count("SetTransmit"), 2);
    }

    void monitor_data()
    {
        QTest::addColumn<int>("rf");
        QTest::addColumn<int>("ip");
        QTest::addColumn<QString>("rfText");
        QTest::addColumn<QColor>("rfColour");
        QTest::addColumn<QString>("ipText");
        QTest::addColumn<QColor>("ipColour");
        QTest::newRow("both free") << 0 << 0 << "RF livre" << kGreen << "IP livre" << kGreen;
        QTest::newRow("RF busy") << -1 << 0 << "RF ocupado " << kRed << "IP livre" << kGreen;
        QTest::newRow("IP busy") << 0 << -1 << "RF livre" << kGreen << "IP ocupado " << kRed;
        QTest::newRow("any nonzero") << 3 << 1 << "RF ocupado " << kRed << "IP ocupado " << kRed;
    }
    void monitor()
    {
        QFETCH(int, rf);
        QFETCH(int, ip);
        QFETCH(QString, rfText);
        QFETCH(QColor, rfColour);
        QFETCH(QString, ipText);
        QFETCH(QColor, ipColour);
        QCOMPARE(h().label("Label5")->text(), QStringLiteral("sinal RF"));
        link().rfValue = std::int16_t(rf);
        link().ipValue = std::int16_t(ip);
        h().s().readSides();
        QCOMPARE(h().label("Label5")->text(), rfText);
        QCOMPARE(lampColour("Shape1"), rfColour);
        QCOMPARE(h().label("Label8")->text(), ipText);
        QCOMPARE(lampColour("Shape2"), ipColour);
        // RF is read, then IP, one read each.
        const std::vector<Call> reads{{"RfBusy", "", false}, {"IpBusy", "", false}};
        QCOMPARE(link().calls, reads);
    }

    void timeOfDay_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seconds"); // -1: not a time of day
        QTest::newRow("HH:mm") << "14:30" << 52200;
        QTest::newRow("H:mm") << "8:05" << 29100;
        QTest::newRow("HH:mm:ss") << "14:30:15" << 52215;
        QTest::newRow("midnight") << "00:00" << 0;
        QTest::newRow("last second") << "23:59:59" << 86399;
        QTest::newRow("blanks around") << " 07:00 " << 25200;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("colon added to hours") << "14:" << -1;
        QTest::newRow("one-digit minutes") << "14:3" << -1;
        QTest::newRow("hour 24") << "24:00" << -1;
        QTest::newRow("minute 60") << "12:60" << -1;
        QTest::newRow("second 60") << "12:00:60" << -1;
        QTest::newRow("three-digit hours") << "123:00" << -1;
        QTest::newRow("letters") << "ab:cd" << -1;
        QTest::newRow("12-hour suffix") << "2:30 PM" << -1;
        QTest::newRow("dot separator") << "14.30" << -1;
        QTest::newRow("non-ASCII digits") << QString::fromUtf8("١٤:٣٠") << -1;
        QTest::newRow("trailing junk") << "14:30x" << -1;
        QTest::newRow("seconds without colon") << "14:3015" << -1;
    }
    void timeOfDay()
    {
        QFETCH(QString, text);
        QFETCH(int, seconds);
        const std::optional<int> read = readTimeOfDay(text);
        QCOMPARE(read.value_or(-1), seconds);
    }

    void unreadableTimeIsNeverDue()
    {
        h().setSlot(0, "", "um.wav");
        h().time(3)->setText("xx:yy");
        h().enabled(3)->setCheckState(Qt::Checked);
        h().fileName(3)->setText("um.wav");
        for (int s = 0; s < 86400; s += 7)
            h().tickAt(s);
        QVERIFY(link().calls.empty());
        QVERIFY(h().fake.boxes.shown.empty());
    }

    void secondTimerAimsJustPastTheSecond_data()
    {
        QTest::addColumn<int>("msec");
        QTest::addColumn<int>("expected");
        QTest::newRow("mid-second") << 600 << 400 + SecondTimer::kLeadMs;
        QTest::newRow("at the edge") << 0 << SecondTimer::kLeadMs;
        QTest::newRow("just after") << 2 << 998 + SecondTimer::kLeadMs;
        QTest::newRow("late in the second") << 999 << 1 + SecondTimer::kLeadMs;
    }
    void secondTimerAimsJustPastTheSecond()
    {
        QFETCH(int, msec);
        QFETCH(int, expected);
        FakeClock clock;
        clock.set(9, 0, 0, msec);
        SecondTimer timer(clock);
        timer.start();
        const int remaining = timer.remainingTime();
        QVERIFY2(remaining <= expected && remaining >= expected - 20,
                 qPrintable(QString::number(remaining)));
    }

    void secondTimerWakingAgainInTheSameSecondWaitsForTheNext()
    {
        // The wall clock stands still late in a second, as when the timer wakes early or the
        // clock is stepped back a little: the timer wakes every few milliseconds and finds
        // the second it has already reported each time. That second is reported once.
        FakeClock clock;
        clock.set(9, 0, 0, 997);
        SecondTimer timer(clock);
        QSignalSpy ticks(&timer, &SecondTimer::timeout);
        timer.start();
        QVERIFY(ticks.wait(500));
        QCOMPARE(ticks.size(), 1);
        QTest::qWait(200); // dozens of wake-ups, all inside 09:00:00
        QCOMPARE(ticks.size(), 1);
        QVERIFY(timer.remainingTime() <= 3 + SecondTimer::kLeadMs); // still waking, not asleep
        // The next second is reported at once.
        clock.set(9, 0, 1, 1);
        QVERIFY(ticks.wait(500));
        QCOMPARE(ticks.size(), 2);
    }

private:
    Harness &h() { return *m_h; }
    FakeLink &link() { return *m_h->link; }
    QString caminho() { return m_folder->nativePath() + QDir::separator(); }
    QColor lampColour(const char *name) { return h().control<Lamp>(name)->colour(); }

    std::unique_ptr<WorkingFolder> m_folder;
    std::unique_ptr<Harness> m_h;
};

QTEST_MAIN(TestScheduler)
#include "test_scheduler.moc"
