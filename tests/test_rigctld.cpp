// The station link against a real rigctld (Hamlib's dummy rig) on loopback: PTT, a daemon
// that dies, hangs or comes back, and a daemon that is not there at start.

#include "link/StationErrors.h"
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"
#include "link/TransmitSequence.h"
#include "support/FakePlayer.h"
#include "support/Harness.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"
#include "support/WorkingFolder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

using namespace anunciel;
using namespace anunciel::test;

namespace {

constexpr qint64 kBoundWithSlackMs = StationLink::kExchangeBound.count() + 300;

LinkCreation createLinkTo(const QString &rigctld, std::unique_ptr<AudioPlayer> player,
                          Log *log = nullptr)
{
    StationSettings settings;
    settings.rigctld = rigctld;
    settings.rigctldOrigin = QStringLiteral("rigctld em estacao.ini");
    settings.keyingDelay = std::chrono::milliseconds(0);
    return createStationLink(settings, std::move(player), log);
}

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// Hamlib's dummy rig, keyed through its own CAT PTT (it keys only with -P RIG).
class Rigctld
{
public:
    explicit Rigctld(quint16 port) : m_port(port) {}
    ~Rigctld() { stop(); }

    bool start()
    {
        m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("rigctld")));
        m_process.setArguments({QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-P"),
                                QStringLiteral("RIG"), QStringLiteral("-T"),
                                QStringLiteral("127.0.0.1"), QStringLiteral("-t"),
                                QString::number(m_port)});
        // Its output must not hold the test's open after a crash, and it must not outlive it.
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start();
        if (!m_process.waitForStarted(3000))
            return false;
        // Ready once it takes connections.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGCONT);
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    void signal(int sig) { ::kill(pid_t(m_process.processId()), sig); }

    // The dummy rig's PTT as rigctld reports it (`t`), on a connection of the test's own.
    // rigctld now and then drops a new connection at once: a few are tried.
    int ptt() const
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (!socket.waitForConnected(3000))
                return -100;
            socket.write("t\n");
            while (!socket.canReadLine() && socket.waitForReadyRead(3000)) {
            }
            if (socket.canReadLine()) {
                bool ok = false;
                const int value = socket.readLine().trimmed().toInt(&ok);
                return ok ? value : -102;
            }
        }
        return -101;
    }

    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

private:
    quint16 m_port;
    QProcess m_process;
};

} // namespace

class TestRigctld : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pttFollowsSetTransmit();
    void releasingTheLinkUnkeys();
    void killedRigctldFailsWithinBoundAndSequenceGoesOn();
    void windowCarriesOnWhenRigctldDies();
    void restartedRigctldIsUsedAgain();
    void hungRigctldFailsWithinBound();
    void absentAtStartThenStarted();

private:
    std::unique_ptr<Rigctld> m_rig;
    std::unique_ptr<LinkObject> m_link;
    FakePlayer *m_player = nullptr;
    bool m_haveRigctld = false;
};

void TestRigctld::initTestCase()
{
    m_haveRigctld = !QStandardPaths::findExecutable(QStringLiteral("rigctld")).isEmpty();
}

void TestRigctld::init()
{
    // The one case about a rigctld that is not there needs none.
    if (QByteArrayView(QTest::currentTestFunction()) == "absentAtStartThenStarted")
        return;
    if (!m_haveRigctld) {
        skipAll();
        QSKIP("rigctld not found: install Debian's libhamlib-utils to run the tests against "
              "a real rigctld");
    }
    m_rig = std::make_unique<Rigctld>(freePort());
    QVERIFY2(m_rig->start(), "rigctld did not start");
    auto player = std::make_unique<FakePlayer>();
    m_player = player.get();
    LinkCreation created = createLinkTo(m_rig->address(), std::move(player));
    QVERIFY2(created.link, created.status.description.c_str());
    m_link = std::move(created.link);
}

void TestRigctld::cleanup()
{
    m_link.reset();
    m_rig.reset();
}

void TestRigctld::pttFollowsSetTransmit()
{
    QCOMPARE(m_rig->ptt(), 0);
    // Keyed for the file's sound only, and until its end.
    QVERIFY(m_link->SetTransmit(true).ok());
    QCOMPARE(m_rig->ptt(), 0);
    QVERIFY(m_link->PlayFile("/station/long.wav", true).ok());
    QCOMPARE(m_rig->ptt(), 1);
    QVERIFY(m_link->SetTransmit(false).ok());
    QCOMPARE(m_rig->ptt(), 1);
    m_player->end(PlaybackEnd::Finished);
    QCOMPARE(m_rig->ptt(), 0);
}

void TestRigctld::releasingTheLinkUnkeys()
{
    QVERIFY(m_link->SetTransmit(true).ok());
    QVERIFY(m_link->PlayFile("/station/long.wav", true).ok());
    QCOMPARE(m_rig->ptt(), 1);
    m_link.reset();
    // rigctld itself would keep the radio keyed after its client went.
    QCOMPARE(m_rig->ptt(), 0);
}

void TestRigctld::killedRigctldFailsWithinBoundAndSequenceGoesOn()
{
    QVERIFY(m_link->SetTransmit(false).ok());
    m_rig->stop();

    std::int16_t value = 5;
    QElapsedTimer clock;
    clock.start();
    const LinkStatus read = m_link->RfBusy(value);
    QVERIFY(clock.elapsed() < kBoundWithSlackMs);
    QVERIFY(!read.ok());
    QCOMPARE(value, std::int16_t(0));

    // A whole send: every keying call fails, the steps all run, and quickly; without a
    // confirmed PTT nothing is played.
    FakeClock fakeClock;
    FakePause pause(fakeClock);
    clock.restart();
    QCOMPARE(readLinkState(*m_link, RfReads::Twice), LinkState::Free);
    transmitFile(*m_link, pause, [] { return std::string("/station/a.wav"); });
    QCOMPARE(pause.pauses, std::vector<int>{kTransmitPauseMs});
    QVERIFY(m_player->played.empty());
    QVERIFY2(clock.elapsed() < 5 * kBoundWithSlackMs, qPrintable(QString::number(clock.elapsed())));
}

void TestRigctld::windowCarriesOnWhenRigctldDies()
{
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(QStringLiteral("aviso.wav")), "RIFF"));
    const QString setting = m_rig->address();
    Harness h([setting] { return createLinkTo(setting, std::make_unique<FakePlayer>()); });
    FakePlatform &fake = h.fake;
    fake.desktop.folder = folder.nativePath();
    QVERIFY(h.start());
    h.secondTimer()->stop();
    h.linkStateTimer()->stop();
    h.fileName(0)->setText(QStringLiteral("aviso.wav"));

    m_rig->stop();
    QElapsedTimer clock;
    clock.start();
    h.s().readSides();
    QVERIFY(clock.elapsed() < kBoundWithSlackMs);
    // A failed read is unknown to the eye; the send still goes on as if free.
    QCOMPARE(h.label("Label5")->text(), QStringLiteral("RF sem leitura"));

    h.sendNow(0);
    QCOMPARE(fake.pause.pauses, std::vector<int>{kTransmitPauseMs});
    QVERIFY(fake.boxes.shown.empty());
    QVERIFY2(clock.elapsed() < 6 * kBoundWithSlackMs, qPrintable(QString::number(clock.elapsed())));
}

void TestRigctld::restartedRigctldIsUsedAgain()
{
    QVERIFY(m_link->SetTransmit(false).ok());
    m_rig->stop();
    QVERIFY(!m_link->PlayFile("/station/a.wav", true).ok());
    QVERIFY(m_player->played.empty());

    QVERIFY2(m_rig->start(), "rigctld did not start again");
    // The first call after the restart gets through: the dead connection is replaced.
    QVERIFY(m_link->PlayFile("/station/a.wav", true).ok());
    QCOMPARE(m_rig->ptt(), 1);
    m_player->end(PlaybackEnd::Finished);
    QCOMPARE(m_rig->ptt(), 0);
}

void TestRigctld::hungRigctldFailsWithinBound()
{
    QVERIFY(m_link->PlayFile("/station/a.wav", true).ok());
    QCOMPARE(m_rig->ptt(), 1);
    m_rig->signal(SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    m_player->end(PlaybackEnd::Finished); // the unkey cannot get through
    const qint64 took = clock.elapsed();
    QVERIFY2(took < kBoundWithSlackMs, qPrintable(QString::number(took)));
    std::int16_t value = 0;
    clock.restart();
    const LinkStatus status = m_link->RfBusy(value);
    QVERIFY(!status.ok());
    QCOMPARE(status.code, stationerror::RigNoAnswer);
    QVERIFY2(clock.elapsed() < kBoundWithSlackMs, qPrintable(QString::number(clock.elapsed())));

    // It wakes up: the unkey that did not get through is made by the next call.
    m_rig->signal(SIGCONT);
    QTRY_VERIFY_WITH_TIMEOUT((m_link->RfBusy(value), m_rig->ptt() == 0), 3000);
}

// rigctld started after the program: the window opens, and the first send after rigctld
// answers is keyed.
void TestRigctld::absentAtStartThenStarted()
{
    if (!m_haveRigctld) {
        skipAll();
        QSKIP("rigctld not found: install Debian's libhamlib-utils to run the tests against "
              "a real rigctld");
    }
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(QStringLiteral("aviso.wav")), "RIFF"));
    const quint16 port = freePort();
    const QString setting = QStringLiteral("127.0.0.1:%1").arg(port);
    FakeLog log;
    FakePlayer *player = nullptr;
    Harness h([&] {
        auto made = std::make_unique<FakePlayer>();
        player = made.get();
        return createLinkTo(setting, std::move(made), &log);
    });
    FakePlatform &fake = h.fake;
    fake.desktop.folder = folder.nativePath();
    QVERIFY(h.start());
    QVERIFY(fake.boxes.shown.empty());
    QCOMPARE(log.lines.size(), 1);
    QVERIFY2(log.lines.front().contains(setting), qPrintable(log.lines.front()));
    h.secondTimer()->stop();
    h.linkStateTimer()->stop();
    h.fileName(0)->setText(QStringLiteral("aviso.wav"));

    m_rig = std::make_unique<Rigctld>(port);
    QVERIFY2(m_rig->start(), "rigctld did not start");
    h.sendNow(0);
    QCOMPARE(player->played.size(), size_t(1));
    QCOMPARE(m_rig->ptt(), 1);
    QCOMPARE(log.lines.size(), 2);
    player->end(PlaybackEnd::Finished);
    QCOMPARE(m_rig->ptt(), 0);
}

ANUNCIEL_SKIPPABLE_TEST_MAIN(TestRigctld)
#include "test_rigctld.moc"
