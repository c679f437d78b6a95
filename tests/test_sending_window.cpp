// The sending window and the periodic identification, over scripted timelines of a busy
// channel: the fake clock moves a second at a time, the indicators read the fake link as
// their timer does, then the scheduler ticks.

#include "Harness.h"
#include "TestFiles.h"
#include "WorkingFolder.h"
#include "core/SecondTimer.h"

#include <QFileInfo>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace anunciel;
using namespace anunciel::test;

using Call = FakeLink::Call;

namespace {

// A station folder with its settings file and three announcements, and the window started
// in it. The timeline's seconds count from `due`, a time of day on the fake clock's date.
struct Timeline
{
    std::unique_ptr<WorkingFolder> folder = std::make_unique<WorkingFolder>();
    std::unique_ptr<Harness> h;
    QDateTime due;
    QStringList sent; // "133 um.wav": the second (from due) and the file of each play
    std::function<void(const Call &)> duringCall;

    Timeline(const QByteArray &ini, const QTime &dueTime)
    {
        writeBytes(folder->filePath(QStringLiteral("estacao.ini")), ini);
        for (const char *name : {"um.wav", "dois.wav", "id.wav"})
            writeBytes(folder->filePath(QLatin1String(name)), "RIFF");
        h = std::make_unique<Harness>();
        h->fake.desktop.folder = folder->nativePath();
        started = h->start();
        due = QDateTime(h->fake.clock.date, dueTime);
        if (!started)
            return;
        h->link->onCall = [this](const Call &call) {
            if (call.op == "PlayFile")
                sent << QStringLiteral("%1 %2").arg(now()).arg(
                    QFileInfo(QString::fromStdString(call.arg)).fileName());
            if (duringCall)
                duringCall(call);
        };
    }
    ~Timeline() { h.reset(); }

    bool started = false;

    QDateTime clock() const { return QDateTime(h->fake.clock.date, h->fake.clock.time); }
    qint64 now() const { return qint64(std::floor(due.msecsTo(clock()) / 1000.0)); }
    QString caminho() const { return folder->nativePath() + QDir::separator(); }

    // Second `t` of the timeline: the clock moves there unless a send already carried it
    // past; a jump back of more than a few seconds is the clock being set back.
    void second(int t, bool busy, bool onIp, const std::function<void(int)> &before)
    {
        const QDateTime target = due.addMSecs(t * 1000LL + SecondTimer::kLeadMs);
        const qint64 ahead = target.msecsTo(clock());
        if (ahead < 0 || ahead > 5000) {
            h->fake.clock.date = target.date();
            h->fake.clock.time = target.time();
        }
        h->link->rfValue = std::int16_t(busy && !onIp);
        h->link->ipValue = std::int16_t(busy && onIp);
        if (before) // what the operator does in this second, before the readings
            before(t);
        h->s().readSides();
        h->s().onSecond();
    }

    // `runs`: pairs of first and last second visited; `busy`: pairs [from, to).
    void run(const QList<int> &runs, const QList<int> &busy, bool onIp = false,
             const std::function<void(int)> &before = {})
    {
        for (qsizetype r = 0; r + 1 < runs.size(); r += 2)
            for (int t = runs[r]; t <= runs[r + 1]; ++t) {
                bool isBusy = false;
                for (qsizetype b = 0; b + 1 < busy.size(); b += 2)
                    isBusy = isBusy || (t >= busy[b] && t < busy[b + 1]);
                second(t, isBusy, onIp, before);
            }
    }

    QStringList log() const
    {
        QStringList lines = h->fake.log.lines;
        return lines;
    }
    QStringList expected(QStringList lines) const
    {
        for (QString &line : lines)
            line.replace(QStringLiteral("{}"), caminho());
        return lines;
    }
};

// Between keying and unkeying only the play; each send that reads the channel does so after
// the one before has unkeyed.
bool keyedOnceAtATime(const std::vector<Call> &calls)
{
    bool keyed = false;
    for (const Call &call : calls) {
        if (call.op == "SetTransmit") {
            if ((call.arg == "1") == keyed)
                return false;
            keyed = call.arg == "1";
        } else if (keyed && call.op != "PlayFile") {
            return false;
        }
    }
    return !keyed;
}

QList<int> qsoWithShortGaps(int from, int to)
{
    QList<int> busy;
    for (int t = from; t < to; t += 10)
        busy << t << t + 8; // two seconds free between overs
    return busy;
}

} // namespace

class TestSendingWindow : public QObject
{
    Q_OBJECT

private slots:
    void waitingSlot_data();
    void waitingSlot();
    void identificationOverAnHour_data();
    void identificationOverAnHour();
    void neverKeyedTwiceAtOnce_data();
    void neverKeyedTwiceAtOnce();
};

void TestSendingWindow::waitingSlot_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("time");      // the slot's time (the timeline's second 0)
    QTest::addColumn<QStringList>("files"); // slots 1, 2... all at that time
    QTest::addColumn<QList<int>>("runs");
    QTest::addColumn<QList<int>>("busy");
    QTest::addColumn<bool>("onIp");            // the busy side is IP rather than RF
    QTest::addColumn<QString>("operatorDoes"); // "untick@60": slot 1 unticked before second 60
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("logged");

    const QByteArray window10("janela_envio_min=10\n");
    const QString one = QStringLiteral("mensagem 1 (horário 19:00) \"{}um.wav\": ");
    const QString two = QStringLiteral("mensagem 2 (horário 19:00) \"{}dois.wav\": ");
    const QStringList um{"um.wav"};
    const QList<int> none;

    QTest::newRow("no settings: busy at its second, no retry")
        << QByteArray() << "19:00" << um << QList<int>{-5, 700} << QList<int>{0, 130} << false
        << QString() << QStringList()
        << QStringList{"19:00:00 " + one + "não enviada: rádio (RF) ocupado"};
    QTest::newRow("no settings: free at its second")
        << QByteArray() << "19:00" << um << QList<int>{-5, 60} << none << false << QString()
        << QStringList{"0 um.wav"} << QStringList{"19:00:00 " + one + "enviada"};
    QTest::newRow("window 0 said: as without settings")
        << QByteArray("janela_envio_min=0\ncanal_livre_s=60\n") << "19:00" << um
        << QList<int>{-5, 700} << QList<int>{0, 1} << true << QString() << QStringList()
        << QStringList{"19:00:00 " + one + "não enviada: internet (IP) ocupada"};
    QTest::newRow("busy at its second, free from +130: sent 3 s later")
        << window10 << "19:00" << um << QList<int>{-5, 700} << QList<int>{0, 130} << false
        << QString() << QStringList{"133 um.wav"}
        << QStringList{"19:02:13 " + one +
                       "enviada às 19:02:13, prevista para 19:00, canal ocupado até 19:02:10"};
    QTest::newRow("IP busy holds it as RF does")
        << window10 << "19:00" << um << QList<int>{-5, 700} << QList<int>{0, 130} << true
        << QString() << QStringList{"133 um.wav"}
        << QStringList{"19:02:13 " + one +
                       "enviada às 19:02:13, prevista para 19:00, canal ocupado até 19:02:10"};
    QTest::newRow("free long enough before its second: on time")
        << window10 << "19:00" << um << QList<int>{-5, 700} << none << false << QString()
        << QStringList{"0 um.wav"} << QStringList{"19:00:00 " + one + "enviada"};
    QTest::newRow("free only since 1 s before its second: waits for the rest")
        << window10 << "19:00" << um << QList<int>{-5, 700} << QList<int>{-5, -1} << false
        << QString() << QStringList{"2 um.wav"}
        << QStringList{"19:00:02 " + one + "enviada às 19:00:02, prevista para 19:00"};
    QTest::newRow("canal_livre_s=0: the first free reading")
        << QByteArray("janela_envio_min=5\ncanal_livre_s=0\n") << "19:00" << um
        << QList<int>{-5, 400} << QList<int>{0, 40} << false << QString()
        << QStringList{"40 um.wav"}
        << QStringList{"19:00:40 " + one +
                       "enviada às 19:00:40, prevista para 19:00, canal ocupado até 19:00:40"};
    QTest::newRow("QSO with short gaps through the whole window: one line at its end")
        << window10 << "19:00" << um << QList<int>{-5, 900} << qsoWithShortGaps(0, 900) << false
        << QString() << QStringList()
        << QStringList{"19:10:00 " + one + "não enviada: canal ocupado de 19:00 a 19:10"};
    QTest::newRow("two slots waiting together go in slot order")
        << window10 << "19:00" << QStringList{"um.wav", "dois.wav"} << QList<int>{-5, 700}
        << QList<int>{0, 130} << false << QString() << QStringList{"133 um.wav", "134 dois.wav"}
        << QStringList{"19:02:13 " + one +
                           "enviada às 19:02:13, prevista para 19:00, canal ocupado até 19:02:10",
                       "19:02:14 " + two +
                           "enviada às 19:02:14, prevista para 19:00, canal ocupado até 19:02:10"};
    QTest::newRow("clock set back inside the window: sent once")
        << window10 << "19:00" << um << QList<int>{-5, 60, 10, 200} << QList<int>{0, 30} << false
        << QString() << QStringList{"33 um.wav"}
        << QStringList{"19:00:33 " + one +
                       "enviada às 19:00:33, prevista para 19:00, canal ocupado até 19:00:30"};
    QTest::newRow("clock set back over its time: sent once")
        << window10 << "19:00" << um << QList<int>{-5, 60, -3, 200} << QList<int>{0, 30} << false
        << QString() << QStringList{"33 um.wav"}
        << QStringList{"19:00:33 " + one +
                       "enviada às 19:00:33, prevista para 19:00, canal ocupado até 19:00:30"};
    QTest::newRow("started inside its window")
        << window10 << "19:00" << um << QList<int>{60, 200} << none << false << QString()
        << QStringList{"63 um.wav"}
        << QStringList{"19:01:03 " + one + "enviada às 19:01:03, prevista para 19:00"};
    QTest::newRow("its second skipped by the ticks: caught at the next")
        << window10 << "19:00" << um << QList<int>{-5, -1, 1, 200} << none << false << QString()
        << QStringList{"1 um.wav"}
        << QStringList{"19:00:01 " + one + "enviada às 19:00:01, prevista para 19:00"};
    QTest::newRow("started after its window")
        << window10 << "19:00" << um << QList<int>{600, 700} << none << false << QString()
        << QStringList() << QStringList();
    QTest::newRow("unticked while waiting stops waiting")
        << window10 << "19:00" << um << QList<int>{-5, 700} << QList<int>{0, 130} << false
        << "untick@60" << QStringList()
        << QStringList{"19:01:00 " + one +
                       "não enviada: a mensagem foi desmarcada ou alterada enquanto esperava o "
                       "canal livre"};
    // The channel looked free to the operator: what went out does not go again.
    QTest::newRow("sent now while waiting stops waiting")
        << window10 << "19:00" << um << QList<int>{-5, 700} << QList<int>{0, 60, 61, 130} << false
        << "send now@60" << QStringList{"60 um.wav"}
        << QStringList{"19:01:00 mensagem 1 (enviar agora) \"{}um.wav\": enviada"};
    QTest::newRow("window across midnight")
        << QByteArray("janela_envio_min=5\n") << "23:58" << um << QList<int>{-5, 400}
        << QList<int>{0, 180} << false << QString() << QStringList{"183 um.wav"}
        << QStringList{"00:01:03 mensagem 1 (horário 23:58) \"{}um.wav\": enviada às 00:01:03, "
                       "prevista para 23:58, canal ocupado até 00:01:00"};
    QTest::newRow("window across midnight, busy to its end")
        << QByteArray("janela_envio_min=5\n") << "23:58" << um << QList<int>{-5, 400}
        << QList<int>{0, 400} << false << QString() << QStringList()
        << QStringList{"00:03:00 mensagem 1 (horário 23:58) \"{}um.wav\": não enviada: canal "
                       "ocupado de 23:58 a 00:03"};
}

void TestSendingWindow::waitingSlot()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, time);
    QFETCH(QStringList, files);
    QFETCH(QList<int>, runs);
    QFETCH(QList<int>, busy);
    QFETCH(bool, onIp);
    QFETCH(QString, operatorDoes);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, logged);

    Timeline station(ini, QTime::fromString(time, QStringLiteral("HH:mm")));
    QVERIFY(station.started);
    for (int slot = 0; slot < files.size(); ++slot)
        station.h->setSlot(slot, time, files[slot]);
    station.run(runs, busy, onIp, [&](int t) {
        if (operatorDoes.section(u'@', 1).toInt() != t || operatorDoes.isEmpty())
            return;
        if (operatorDoes.startsWith(QStringLiteral("untick")))
            station.h->enabled(0)->setCheckState(Qt::Unchecked);
        else
            station.h->sendNow(0);
    });
    QCOMPARE(station.sent, sent);
    QCOMPARE(station.log(), station.expected(logged));
    QVERIFY(keyedOnceAtATime(station.h->link->calls));
    QVERIFY(station.h->fake.boxes.shown.empty());
}

void TestSendingWindow::identificationOverAnHour_data()
{
    QTest::addColumn<bool>("overQso");
    QTest::addColumn<bool>("onlyWithActivity");
    QTest::addColumn<QList<int>>("busy");
    QTest::addColumn<int>("announcementAt"); // a slot's time, in seconds from 19:00; -1 none
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<int>("count");      // identifications sent from 19:00:00 to 19:59:59
    QTest::addColumn<int>("largestGap"); // seconds, the hour's start and end included
    QTest::addColumn<int>("notSent");    // log lines of identifications not sent

    // A solid QSO from 19:20 to 19:35: the 19:20 interval never has a free channel.
    const QList<int> qso{1200, 2100};
    const QList<int> quiet;
    QTest::newRow("quiet hour") << false << false << quiet << -1 << true << 6 << 600 << 0;
    QTest::newRow("QSO, skipped over it") << false << false << qso << -1 << true << 5 << 1503 << 1;
    QTest::newRow("QSO, sent over it at the interval's end")
        << true << false << qso << -1 << true << 6 << 1199 << 0;
    QTest::newRow("short-gap QSO all hour, skipped")
        << false << false << qsoWithShortGaps(0, 3600) << -1 << true << 0 << 3600 << 5;
    QTest::newRow("short-gap QSO all hour, over it")
        << true << false << qsoWithShortGaps(0, 3600) << -1 << true << 6 << 600 << 0;
    QTest::newRow("quiet hour, only with activity")
        << false << true << quiet << -1 << true << 0 << 3600 << 0;
    QTest::newRow("QSO, only with activity, skipped over it")
        << false << true << qso << -1 << true << 1 << 2103 << 1;
    QTest::newRow("QSO, only with activity, over it")
        << true << true << qso << -1 << true << 2 << 1799 << 0;
    QTest::newRow("announcement at 19:45, only with activity")
        << false << true << quiet << 2700 << true << 1 << 2701 << 0;
    QTest::newRow("file missing: logged, nothing keyed, no box")
        << false << false << quiet << -1 << false << 0 << 3600 << 6;
}

void TestSendingWindow::identificationOverAnHour()
{
    QFETCH(bool, overQso);
    QFETCH(bool, onlyWithActivity);
    QFETCH(QList<int>, busy);
    QFETCH(int, announcementAt);
    QFETCH(bool, fileThere);
    QFETCH(int, count);
    QFETCH(int, largestGap);
    QFETCH(int, notSent);

    const QByteArray ini = QByteArray("identificacao_arquivo=") + (fileThere ? "id" : "falta") +
                           ".wav\nidentificacao_intervalo_min=10\nidentificacao_sobre_qso=" +
                           (overQso ? "sim" : "nao") + "\nidentificacao_so_com_atividade=" +
                           (onlyWithActivity ? "sim" : "nao") + "\n";
    Timeline station(ini, QTime(19, 0));
    QVERIFY(station.started);
    if (announcementAt >= 0)
        station.h->setSlot(0, station.due.addSecs(announcementAt).toString("HH:mm"), "um.wav");
    station.run({0, 3599}, busy);

    QList<int> at{0};
    for (const QString &send : station.sent)
        if (send.endsWith(QStringLiteral(" id.wav")))
            at << send.section(u' ', 0, 0).toInt();
    QCOMPARE(at.size() - 1, count);
    at << 3600;
    int gap = 0;
    for (qsizetype i = 1; i < at.size(); ++i)
        gap = std::max(gap, at[i] - at[i - 1]);
    QCOMPARE(gap, largestGap);

    const QStringList idLines = station.log().filter(QStringLiteral(" identificação "));
    QCOMPARE(idLines.filter(QStringLiteral(": não enviada")).size(), notSent);
    QCOMPARE(idLines.filter(QStringLiteral(": enviada")).size(), count);
    if (notSent > 0)
        QVERIFY2(idLines.filter(QStringLiteral(": não enviada"))
                     .first()
                     .contains(fileThere ? QStringLiteral("canal ocupado de 19:")
                                         : QStringLiteral("não existe")),
                 qPrintable(idLines.join(u'\n')));
    QVERIFY(keyedOnceAtATime(station.h->link->calls));
    QVERIFY(station.h->fake.boxes.shown.empty());
}

void TestSendingWindow::neverKeyedTwiceAtOnce_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QList<int>>("busy");
    QTest::addColumn<bool>("nested"); // "Enviar agora" and ticks come during each play
    QTest::addColumn<QStringList>("sent");

    const QByteArray id("identificacao_arquivo=id.wav\n");
    // The slot is at 19:10, as the identification's second interval begins; 19:20 begins
    // the third.
    QTest::newRow("slot due as the identification's interval begins")
        << id << QList<int>{} << false
        << QStringList{"-7 id.wav", "0 um.wav", "1 id.wav", "600 id.wav"};
    QTest::newRow("waiting slot and identification freed together")
        << QByteArray(id + "janela_envio_min=10\n") << QList<int>{-10, 130} << false
        << QStringList{"133 um.wav", "134 id.wav", "600 id.wav"};
    QTest::newRow("send now and ticks during the plays")
        << QByteArray(id + "janela_envio_min=10\n") << QList<int>{-10, 130} << true
        << QStringList{"133 um.wav", "134 id.wav", "600 id.wav"};
    // The program starts ten seconds before 19:10: the QSO it hears then does not make that
    // interval one to identify over, since it was not watched from its start.
    QTest::newRow("identification over the QSO, then a waiting slot")
        << QByteArray(id + "janela_envio_min=10\nidentificacao_sobre_qso=sim\n")
        << QList<int>{-10, 300} << true << QStringList{"303 um.wav", "304 id.wav", "600 id.wav"};
}

void TestSendingWindow::neverKeyedTwiceAtOnce()
{
    QFETCH(QByteArray, ini);
    QFETCH(QList<int>, busy);
    QFETCH(bool, nested);
    QFETCH(QStringList, sent);

    Timeline station(ini, QTime(19, 10));
    QVERIFY(station.started);
    station.h->setSlot(0, QStringLiteral("19:10"), QStringLiteral("um.wav"));
    station.h->fileName(1)->setText(QStringLiteral("dois.wav"));
    int refused = 0;
    if (nested)
        station.duringCall = [&](const Call &call) {
            if (call.op != "PlayFile")
                return;
            const size_t before = station.h->link->calls.size();
            station.h->sendNow(1);
            station.h->s().onSecond();
            station.h->s().readSides();
            refused += station.h->link->calls.size() == before;
        };
    station.run({-10, 700}, busy);
    QCOMPARE(station.sent, sent);
    QVERIFY(keyedOnceAtATime(station.h->link->calls));
    QCOMPARE(refused, nested ? int(sent.size()) : 0);
}

QTEST_MAIN(TestSendingWindow)
#include "test_sending_window.moc"
