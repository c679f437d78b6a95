// The station link's keying and squelch, against a scripted rigctld on loopback and a
// player whose playback the test ends by hand.

#include "link/StationErrors.h"
#include "link/StationLink.h"
#include "support/FakePlayer.h"
#include "support/ScriptedRig.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

Q_DECLARE_METATYPE(anunciel::PlaybackEnd)

using namespace anunciel;
using anunciel::test::FakePlayer;
using anunciel::test::ScriptedRig;

namespace {

// Calls must give up on rigctld within the bound; a little slack for a loaded machine.
constexpr qint64 kBoundWithSlackMs = StationLink::kExchangeBound.count() + 300;

struct Station
{
    std::unique_ptr<LinkObject> link;
    FakePlayer *player = nullptr;
    LinkStatus status;

    StationLink &station() { return static_cast<StationLink &>(*link); }
};

Station makeStation(const QString &setting)
{
    auto player = std::make_unique<FakePlayer>();
    FakePlayer *raw = player.get();
    LinkCreation created = createStationLink(setting, std::move(player));
    return {std::move(created.link), raw, created.status};
}

QString rigSetting(const ScriptedRig &rig)
{
    return QString::fromStdString(rig.address());
}

// A port on loopback that nothing listens on.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort(); // closed again when `server` goes
}

} // namespace

class TestStationLink : public QObject
{
    Q_OBJECT

private slots:
    void voxStationNeverBusyAndPlays();

    void creationChecksRigAndUnkeys();
    void creationByName();
    void creationFailsOnBadSetting_data();
    void creationFailsOnBadSetting();
    void creationFailsWhenRigctldUnreachable();

    void squelchReading_data();
    void squelchReading();
    void squelchOnHungRigctldFailsWithinBound();

    void pttFollowsSetTransmit();
    void pttHeldThroughLongFile_data();
    void pttHeldThroughLongFile();
    void pttDroppedWhenReleasedMidFile();
    void failedPlayFileLeavesKeyingToSetTransmit();
    void playFileAloneKeysUntilTheEnd();
    void fileSentWhilePlayingWaitsItsTurn();
    void waitingFileThatCannotPlayIsPassed();
    void waitingFilesAreFew();
    void hugeFileKeepsKeyed();
    void unkeyRetriedAfterRigctldWasAway();
    void droppedConnectionIsMadeAgain();
};

void TestStationLink::voxStationNeverBusyAndPlays()
{
    Station s = makeStation(QString());
    QVERIFY2(s.link, s.status.description.c_str());
    std::int16_t rf = 7, ip = 7;
    QVERIFY(s.link->RfBusy(rf).ok());
    QVERIFY(s.link->IpBusy(ip).ok());
    QCOMPARE(rf, std::int16_t(0));
    QCOMPARE(ip, std::int16_t(0));
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(s.link->PlayFile("/station/a.wav", true).ok());
    QCOMPARE(s.player->played, std::vector<std::string>{"/station/a.wav"});
    QVERIFY(s.station().isPlaying());
}

void TestStationLink::creationChecksRigAndUnkeys()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY2(s.link, s.status.description.c_str());
    // The radio is unkeyed at start, which also shows rigctld answers.
    QCOMPARE(rig.commands(), std::vector<std::string>{"T 0"});
}

// localhost may name ::1 first while rigctld listens on 127.0.0.1 only.
void TestStationLink::creationByName()
{
    ScriptedRig rig;
    Station s = makeStation(QStringLiteral("localhost:%1").arg(rig.port()));
    QVERIFY2(s.link, s.status.description.c_str());
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(rig.ptt());
}

void TestStationLink::creationFailsOnBadSetting_data()
{
    QTest::addColumn<QString>("setting");
    QTest::newRow("no port") << "127.0.0.1";
    QTest::newRow("empty port") << "127.0.0.1:";
    QTest::newRow("port zero") << "127.0.0.1:0";
    QTest::newRow("port too big") << "127.0.0.1:65536";
    QTest::newRow("port not a number") << "127.0.0.1:rig";
    QTest::newRow("no host") << ":4532";
    QTest::newRow("bare IPv6") << "::1:4532";
}

void TestStationLink::creationFailsOnBadSetting()
{
    QFETCH(QString, setting);
    Station s = makeStation(setting);
    QVERIFY(!s.link);
    QCOMPARE(s.status.code, stationerror::RigSetting);
    QVERIFY2(QString::fromStdString(s.status.description).contains(setting),
             s.status.description.c_str());
}

void TestStationLink::creationFailsWhenRigctldUnreachable()
{
    const QString setting = QStringLiteral("127.0.0.1:%1").arg(closedPort());
    QElapsedTimer clock;
    clock.start();
    Station s = makeStation(setting);
    QVERIFY(clock.elapsed() < kBoundWithSlackMs);
    QVERIFY(!s.link);
    QVERIFY(!s.status.ok());
    QCOMPARE(s.status.code, stationerror::RigUnreachable);
    QVERIFY2(QString::fromStdString(s.status.description).contains(setting),
             s.status.description.c_str());
}

void TestStationLink::squelchReading_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("busy");
    QTest::newRow("closed") << "0" << true << 0;
    QTest::newRow("open") << "1" << true << -1;
    QTest::newRow("refused") << "RPRT -11" << false << 0;
    QTest::newRow("not the protocol") << "hello" << false << 0;
    QTest::newRow("empty line") << "" << false << 0;
}

void TestStationLink::squelchReading()
{
    QFETCH(QString, answer);
    QFETCH(bool, ok);
    QFETCH(int, busy);
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    rig.scriptSquelch({answer.toStdString()});
    std::int16_t value = 99;
    const LinkStatus status = s.link->RfBusy(value);
    QCOMPARE(status.ok(), ok);
    QCOMPARE(int(value), busy);
    if (!ok)
        QVERIFY(!status.description.empty());
    // The next read is answered normally: a bad answer does not spoil the connection.
    rig.scriptSquelch({"1"});
    QVERIFY(s.link->RfBusy(value).ok());
    QCOMPARE(value, std::int16_t(-1));
}

void TestStationLink::squelchOnHungRigctldFailsWithinBound()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    rig.mode = ScriptedRig::Mode::Hang;
    std::int16_t value = 99;
    QElapsedTimer clock;
    clock.start();
    const LinkStatus status = s.link->RfBusy(value);
    const qint64 took = clock.elapsed();
    QVERIFY(!status.ok());
    QCOMPARE(status.code, stationerror::RigNoAnswer);
    QCOMPARE(value, std::int16_t(0));
    QVERIFY2(took < kBoundWithSlackMs, qPrintable(QString::number(took)));
    QVERIFY(took >= StationLink::kExchangeBound.count() - 20);

    // rigctld answers again: the next call gets through on a fresh connection.
    rig.mode = ScriptedRig::Mode::Answer;
    rig.scriptSquelch({"1"});
    QVERIFY(s.link->RfBusy(value).ok());
    QCOMPARE(value, std::int16_t(-1));
}

void TestStationLink::pttFollowsSetTransmit()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(rig.ptt());
    QVERIFY(s.link->SetTransmit(false).ok());
    QVERIFY(!rig.ptt());

    rig.refusePtt = true;
    const LinkStatus refused = s.link->SetTransmit(true);
    QVERIFY(!refused.ok());
    QCOMPARE(refused.code, -1);
}

void TestStationLink::pttHeldThroughLongFile_data()
{
    QTest::addColumn<PlaybackEnd>("how");
    QTest::newRow("finishes") << PlaybackEnd::Finished;
    QTest::newRow("fails") << PlaybackEnd::Failed;
}

void TestStationLink::pttHeldThroughLongFile()
{
    QFETCH(PlaybackEnd, how);
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);

    // The transmit steps: key, play, (pause), unkey while the file still plays.
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(s.link->PlayFile("/station/long.wav", true).ok());
    QVERIFY(s.link->SetTransmit(false).ok());
    QVERIFY(rig.ptt());
    std::int16_t value = 0;
    s.link->RfBusy(value); // the status monitor goes on meanwhile
    QVERIFY(rig.ptt());

    s.player->end(how);
    QVERIFY(!rig.ptt());
    QVERIFY(!s.station().isPlaying());
}

void TestStationLink::pttDroppedWhenReleasedMidFile()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(s.link->PlayFile("/station/long.wav", true).ok());
    QVERIFY(rig.ptt());
    s.link.reset();
    QVERIFY(!rig.ptt());
}

void TestStationLink::failedPlayFileLeavesKeyingToSetTransmit()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    s.player->failPlay = true;
    QVERIFY(s.link->SetTransmit(true).ok());
    const LinkStatus played = s.link->PlayFile("/station/broken.wav", true);
    QVERIFY(!played.ok());
    QCOMPARE(played.code, 6);
    QVERIFY(rig.ptt());
    QVERIFY(s.link->SetTransmit(false).ok());
    QVERIFY(!rig.ptt());
}

void TestStationLink::playFileAloneKeysUntilTheEnd()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    // A player that never tells the end: the file's own length plus the margin bounds it.
    s.player->length = std::chrono::milliseconds(100);
    // Timed from before the call: the bound starts inside it, before the PTT exchange.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(s.link->PlayFile("/station/short.wav", true).ok());
    QVERIFY(rig.ptt());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ptt(), 5000);
    const qint64 keyed = clock.elapsed();
    const qint64 bound = (s.player->length + StationLink::kPlaybackMargin).count();
    QVERIFY2(keyed >= bound && keyed < bound + 500, qPrintable(QString::number(keyed)));
    QVERIFY(!s.player->playing); // and the player was told to stop
}

void TestStationLink::fileSentWhilePlayingWaitsItsTurn()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    for (const char *file : {"/station/a.wav", "/station/b.wav"}) {
        QVERIFY(s.link->SetTransmit(true).ok());
        QVERIFY(s.link->PlayFile(file, true).ok());
        QVERIFY(s.link->SetTransmit(false).ok());
    }
    // The second did not cut the first short.
    QCOMPARE(s.player->played, std::vector<std::string>{"/station/a.wav"});
    QCOMPARE(s.player->stops, 0);
    QVERIFY(rig.ptt());

    s.player->end(PlaybackEnd::Finished);
    QCOMPARE(s.player->played, (std::vector<std::string>{"/station/a.wav", "/station/b.wav"}));
    QVERIFY(rig.ptt());
    s.player->end(PlaybackEnd::Finished);
    QVERIFY(!rig.ptt());
}

void TestStationLink::waitingFileThatCannotPlayIsPassed()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    s.player->unplayable = {"/station/b.wav", "/station/c.wav"};
    QVERIFY(s.link->PlayFile("/station/a.wav", true).ok());
    QVERIFY(s.link->PlayFile("/station/b.wav", true).ok());
    QVERIFY(s.link->PlayFile("/station/c.wav", true).ok());
    QVERIFY(rig.ptt());
    s.player->end(PlaybackEnd::Failed);
    QCOMPARE(s.player->played.size(), size_t(3));
    QVERIFY(!rig.ptt());
    QVERIFY(!s.station().isPlaying());
}

void TestStationLink::waitingFilesAreFew()
{
    Station s = makeStation(QString());
    QVERIFY(s.link);
    QVERIFY(s.link->PlayFile("/station/0.wav", true).ok());
    for (std::size_t i = 1; i <= StationLink::kMaxQueued; ++i)
        QVERIFY(s.link->PlayFile("/station/" + std::to_string(i) + ".wav", true).ok());
    const LinkStatus refused = s.link->PlayFile("/station/late.wav", true);
    QVERIFY(!refused.ok());
    QCOMPARE(refused.code, stationerror::AudioFailed);
}

void TestStationLink::hugeFileKeepsKeyed()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    // About fifty days (four gigabytes at 1000 Hz): more milliseconds than a timer's int
    // holds, chosen so that a wrapped count would end within the wait below.
    s.player->length =
        std::chrono::milliseconds((qint64(1) << 32) + 50) - StationLink::kPlaybackMargin;
    QVERIFY(s.link->PlayFile("/station/huge.wav", true).ok());
    QTest::qWait(100);
    QVERIFY(rig.ptt());
    QVERIFY(s.station().isPlaying());
    s.player->end(PlaybackEnd::Finished);
    QVERIFY(!rig.ptt());
}

void TestStationLink::unkeyRetriedAfterRigctldWasAway()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    QVERIFY(s.link->SetTransmit(true).ok());
    rig.mode = ScriptedRig::Mode::Hang;
    QVERIFY(!s.link->SetTransmit(false).ok());
    QVERIFY(rig.ptt()); // the unkey never arrived

    rig.mode = ScriptedRig::Mode::Answer;
    rig.clearCommands();
    std::int16_t value = 0;
    QVERIFY(s.link->RfBusy(value).ok());
    QVERIFY(!rig.ptt());
    QCOMPARE(rig.commands(), (std::vector<std::string>{"T 0", "\\get_dcd"}));

    // Once through, it is not sent again.
    rig.clearCommands();
    QVERIFY(s.link->RfBusy(value).ok());
    QCOMPARE(rig.commands(), std::vector<std::string>{"\\get_dcd"});
}

void TestStationLink::droppedConnectionIsMadeAgain()
{
    ScriptedRig rig;
    Station s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    QCOMPARE(rig.connections(), 1);
    // rigctld drops the connection on the next command: that call fails...
    rig.mode = ScriptedRig::Mode::Drop;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!s.link->SetTransmit(true).ok());
    QVERIFY(clock.elapsed() < kBoundWithSlackMs);
    // ...and the next one connects anew.
    rig.mode = ScriptedRig::Mode::Answer;
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(rig.ptt());
    QVERIFY(rig.connections() >= 2);
}

QTEST_GUILESS_MAIN(TestStationLink)
#include "test_station_link.moc"
