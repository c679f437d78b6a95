// The scheduler tick, send now and the link indicators.

#include "Harness.h"
#include "app/SecondTimer.h"
#include "app/TimeOfDay.h"
#include "ui/ShapeIndicator.h"

#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace anunciel;
using namespace anunciel::test;

using Call = FakeLink::Call;

namespace {

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
        m_dir = freshWorkingFolder(); // for every test and every row
        m_h = std::make_unique<Harness>();
        m_h->fake.desktop.folder = QDir::toNativeSeparators(m_dir->path());
        QVERIFY(m_h->w().Form_Load());
        for (const char *name : {"um.wav", "dois.wav", "tres.wav"}) {
            QFile f(m_dir->filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }
    void cleanup() { m_h.reset(); }

    void sentOnceAtItsSecondAndAgainNextDay()
    {
        setSlot(1, "14:30", "um.wav");
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
        setSlot(1, "14:30", "um.wav");
        h().tickAt(14, 30, 0);
        const std::string path = (caminho() + "um.wav").toStdString();
        const std::vector<Call> expected{{"RfBusy", "", false},    {"RfBusy", "", false},
                                         {"IpBusy", "", false},    {"SetTransmit", "1", false},
                                         {"PlayFile", path, true}, {"SetTransmit", "0", false}};
        QCOMPARE(link().calls, expected);
        QCOMPARE(h().fake.pause.pauses, std::vector<int>{1000});
        QCOMPARE(h().w().ui().Text1->text(), QStringLiteral("14:30:00"));
    }

    void sendNowCallOrder()
    {
        h().w().setCheckValue(3, 0); // the box plays no part in a send now
        h().msg(3)->setText("tres.wav");
        h().msg(1)->setText("um.wav");
        h().w().envia_Click(3);
        const std::string path = (caminho() + "tres.wav").toStdString();
        std::vector<Call> expected{{"RfBusy", "", false}, {"IpBusy", "", false}};
        for (const Call &c : sendCalls(path))
            expected.push_back(c);
        QCOMPARE(link().calls, expected);
        QCOMPARE(h().fake.pause.pauses, std::vector<int>{1000});
        QVERIFY(h().fake.boxes.shown.empty());
        QCOMPARE(h().w().checkValue(3), 0);
    }

    void busyLinkStopsBeforeKeying_data()
    {
        QTest::addColumn<QList<int>>("rf");
        QTest::addColumn<int>("ip");
        QTest::addColumn<bool>("scheduled");
        QTest::addColumn<bool>("sent");
        QTest::newRow("tick, first RF read busy") << QList<int>{1} << 0 << true << false;
        QTest::newRow("tick, second RF read busy") << QList<int>{0, 1} << 0 << true << false;
        QTest::newRow("tick, IP busy") << QList<int>{0, 0} << 1 << true << false;
        QTest::newRow("tick, any nonzero is busy") << QList<int>{-7} << 0 << true << false;
        QTest::newRow("tick, free") << QList<int>{0, 0} << 0 << true << true;
        QTest::newRow("send now, RF busy") << QList<int>{1} << 0 << false << false;
        QTest::newRow("send now, IP busy") << QList<int>{0} << -1 << false << false;
        // Send now reads RF once: a busy second read is never made.
        QTest::newRow("send now, reads RF once") << QList<int>{0, 1} << 0 << false << true;
    }
    void busyLinkStopsBeforeKeying()
    {
        QFETCH(QList<int>, rf);
        QFETCH(int, ip);
        QFETCH(bool, scheduled);
        QFETCH(bool, sent);
        setSlot(2, "14:30", "dois.wav");
        for (int v : rf)
            link().rfSequence.push_back(std::int16_t(v));
        link().ipValue = std::int16_t(ip);
        if (scheduled)
            h().tickAt(14, 30, 0);
        else
            h().w().envia_Click(2);
        QCOMPARE(link().count("SetTransmit"), sent ? 2 : 0);
        QCOMPARE(link().count("PlayFile"), sent ? 1 : 0);
        QCOMPARE(h().fake.pause.pauses.size(), size_t(sent ? 1 : 0));
        QVERIFY(h().fake.boxes.shown.empty());
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
        setSlot(1, "14:30", "um.wav");
        setSlot(2, "14:30", "dois.wav");
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
        setSlot(1, "14:30", "nao-existe.wav");
        setSlot(2, "14:30", "dois.wav");
        int nested = 0;
        bool tickedWhileOpen = false;
        h().fake.boxes.whileOpen = [&](const FakeBoxes::Shown &) {
            // The box stays open for three seconds; ticks go on meanwhile.
            tickedWhileOpen = h().w().checkValue(1) == 1;
            for (int s = 0; s < 3; ++s) {
                ++nested;
                h().fake.clock.advance(1000);
                h().w().Timer1_Timer();
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
        QCOMPARE(h().w().checkValue(1), 0); // unticked after OK
        // Slot 2 came due while the box was open and was sent on time.
        QCOMPARE(withoutReads(link().calls), sendCalls((caminho() + "dois.wav").toStdString()));
        for (int s = 5; s < 30; ++s)
            h().tickAt(14, 30, s);
        QCOMPARE(h().fake.boxes.shown.size(), size_t(1));
    }

    void sendNowMissingFile()
    {
        h().msg(4)->setText("nao-existe.wav");
        h().w().setCheckValue(4, 1);
        h().w().envia_Click(4);
        QCOMPARE(h().fake.boxes.texts(), QStringList{"O arquivo não Existe!"});
        QVERIFY(link().calls.empty());
        QCOMPARE(h().w().checkValue(4), 1); // send now leaves the slot as it was
    }

    void grayedBoxIsNotEnabled()
    {
        setSlot(1, "14:30", "nao-existe.wav");
        h().w().setCheckValue(1, 2);
        setSlot(2, "14:30", "dois.wav");
        h().w().setCheckValue(2, 2);
        h().tickAt(14, 30, 0);
        QVERIFY(h().fake.boxes.shown.empty());
        QVERIFY(link().calls.empty());
        QCOMPARE(h().w().checkValue(1), 2);
    }

    void everyLinkCallFailing()
    {
        link().failAll();
        setSlot(1, "14:30", "um.wav");
        setSlot(2, "14:30:01", "dois.wav"); // due after slot 1's pause
        h().hora(2)->setText("14:30");
        h().tickAt(14, 30, 0);
        // Failed checks count as passed: the steps run, each call fails, nothing is shown.
        QCOMPARE(link().count("PlayFile"), 1);
        QCOMPARE(link().count("SetTransmit"), 2);
        QCOMPARE(h().fake.pause.pauses, std::vector<int>{1000});
        QVERIFY(h().fake.boxes.shown.empty());
        h().w().Timer2_Timer();
        QCOMPARE(h().w().ui().Label5->text(), QStringLiteral("RF livre"));
        QCOMPARE(h().w().ui().Label8->text(), QStringLiteral("IP livre"));
        QCOMPARE(h().w().ui().Shape1->backColor(), 65280);
        QCOMPARE(h().w().ui().Shape2->backColor(), 65280);
        // A send now too: only the pause, and no message.
        h().w().envia_Click(1);
        QCOMPARE(h().fake.pause.pauses.size(), size_t(2));
        QVERIFY(h().fake.boxes.shown.empty());
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
        const QString folder = QDir::toNativeSeparators(m_dir->path());
        h().fake.desktop.folder = trailing ? folder + QDir::separator() : folder;
        h().msg(1)->setText(" um.wav"); // blanks are part of the name
        QFile spaced(m_dir->filePath(" um.wav"));
        QVERIFY(spaced.open(QIODevice::WriteOnly));
        h().w().envia_Click(1);
        const QString expected = folder + QDir::separator();
        QCOMPARE(h().w().caminho(), expected);
        QCOMPARE(withoutReads(link().calls), sendCalls((expected + " um.wav").toStdString()));
    }

    void emptyFileNameSendsTheFolder()
    {
        h().msg(2)->clear();
        h().w().envia_Click(2); // the folder holds files, so the search finds one
        QCOMPARE(withoutReads(link().calls), sendCalls(caminho().toStdString()));
    }

    void pathIsReadAgainForPlay()
    {
        // The name is read afresh after the checks: what is in the box when the file is
        // played is what gets played.
        h().msg(1)->setText("um.wav");
        link().onCall = [&](const Call &c) {
            if (c.op == "IpBusy")
                h().msg(1)->setText("dois.wav");
        };
        h().w().envia_Click(1);
        QCOMPARE(withoutReads(link().calls), sendCalls((caminho() + "dois.wav").toStdString()));
    }

    void noSendInsideASend()
    {
        setSlot(1, "14:30", "um.wav");
        setSlot(2, "14:30", "dois.wav");
        link().onCall = [&](const Call &c) {
            if (c.op == "PlayFile" && c.arg.find("um.wav") != std::string::npos) {
                h().w().envia_Click(2); // as if a message pump delivered them here
                h().w().Timer1_Timer();
                h().w().Timer2_Timer();
            }
        };
        h().w().envia_Click(1);
        QCOMPARE(link().count("PlayFile"), 1);
        QCOMPARE(link().count("SetTransmit"), 2);
    }

    void monitor_data()
    {
        QTest::addColumn<int>("rf");
        QTest::addColumn<int>("ip");
        QTest::addColumn<QString>("rfText");
        QTest::addColumn<int>("rfColour");
        QTest::addColumn<QString>("ipText");
        QTest::addColumn<int>("ipColour");
        QTest::newRow("both free") << 0 << 0 << "RF livre" << 65280 << "IP livre" << 65280;
        QTest::newRow("RF busy") << -1 << 0 << "RF ocupado " << 255 << "IP livre" << 65280;
        QTest::newRow("IP busy") << 0 << -1 << "RF livre" << 65280 << "IP ocupado " << 255;
        QTest::newRow("any nonzero") << 3 << 1 << "RF ocupado " << 255 << "IP ocupado " << 255;
    }
    void monitor()
    {
        QFETCH(int, rf);
        QFETCH(int, ip);
        QFETCH(QString, rfText);
        QFETCH(int, rfColour);
        QFETCH(QString, ipText);
        QFETCH(int, ipColour);
        QCOMPARE(h().w().ui().Label5->text(), QStringLiteral("sinal RF"));
        link().rfValue = std::int16_t(rf);
        link().ipValue = std::int16_t(ip);
        h().w().Timer2_Timer();
        QCOMPARE(h().w().ui().Label5->text(), rfText);
        QCOMPARE(h().w().ui().Shape1->backColor(), rfColour);
        QCOMPARE(h().w().ui().Label8->text(), ipText);
        QCOMPARE(h().w().ui().Shape2->backColor(), ipColour);
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
        setSlot(1, "", "um.wav");
        h().hora(4)->setText("xx:yy");
        h().w().setCheckValue(4, 1);
        h().msg(4)->setText("um.wav");
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
        timer.setEnabled(true);
        const int remaining = timer.remainingTime();
        QVERIFY2(remaining <= expected && remaining >= expected - 20,
                 qPrintable(QString::number(remaining)));
    }

private:
    Harness &h() { return *m_h; }
    FakeLink &link() { return *m_h->link; }
    QString caminho() { return QDir::toNativeSeparators(m_dir->path()) + QDir::separator(); }
    void setSlot(int n, const QString &time, const QString &name)
    {
        h().hora(n)->setText(time);
        h().msg(n)->setText(name);
        h().w().setCheckValue(n, 1);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Harness> m_h;
};

QTEST_MAIN(TestScheduler)
#include "test_scheduler.moc"
