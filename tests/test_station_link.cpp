// The station link's keying and squelch, against a scripted rigctld on loopback and a
// player whose playback the test ends by hand.

#include "link/StationErrors.h"
#include "link/TransmitSequence.h"
#include "link/audio/ChannelListener.h"
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"
#include "support/FakePlayer.h"
#include "support/Harness.h"
#include "support/ScriptedRig.h"
#include "support/TestFiles.h"
#include "support/WorkingFolder.h"

#include <QElapsedTimer>
#include <QtTest>

Q_DECLARE_METATYPE(anunciel::PlaybackEnd)

using namespace anunciel;
using namespace anunciel::test;
using namespace std::chrono_literals;

namespace {

// Calls must give up on rigctld within the bound; a little slack for a loaded machine.
constexpr qint64 kBoundWithSlackMs = StationLink::kExchangeBound.count() + 300;

StationSettings settingsFor(const QString &rigctld, std::chrono::milliseconds delay = 0ms)
{
    StationSettings settings;
    settings.rigctld = rigctld;
    settings.rigctldOrigin = QStringLiteral("rigctld em estacao.ini");
    settings.keyingDelay = delay;
    return settings;
}

struct LinkUnderTest
{
    std::unique_ptr<FakeLog> log = std::make_unique<FakeLog>();
    std::unique_ptr<LinkObject> link;
    FakePlayer *player = nullptr;
    LinkStatus status;

    StationLink &station() { return static_cast<StationLink &>(*link); }
    // A whole send as the window makes it, with the pause skipped; what the play answered.
    LinkStatus send(const std::string &path)
    {
        FakeClock clock;
        FakePause pause(clock);
        return transmitFile(*link, pause, [&path] { return path; });
    }
};

LinkUnderTest makeStation(const QString &rigctld, std::chrono::milliseconds delay = 0ms)
{
    LinkUnderTest s;
    auto player = std::make_unique<FakePlayer>();
    s.player = player.get();
    LinkCreation created =
        createStationLink(settingsFor(rigctld, delay), std::move(player), s.log.get());
    s.link = std::move(created.link);
    s.status = created.status;
    return s;
}

// A listener whose state the test sets, remembering what the link told it of its own
// transmission.
class FakeListener final : public ChannelListener
{
public:
    bool channelBusy = false;
    bool lost = false;
    bool transmitting = false;

    LinkStatus busy(bool &busy) override
    {
        busy = !lost && channelBusy;
        return lost ? LinkStatus::failure(stationerror::NoAudioInput, "sem entrada")
                    : LinkStatus::success();
    }
    void setTransmitting(bool on) override { transmitting = on; }
};

QString rigSetting(const ScriptedRig &rig)
{
    return QString::fromStdString(rig.address());
}

} // namespace

class TestStationLink : public QObject
{
    Q_OBJECT

private slots:
    void voxStationNeverBusyAndPlays();
    void listenerToldOfOwnTransmission_data();
    void listenerToldOfOwnTransmission();
    void radioSideFromListener_data();
    void radioSideFromListener();

    void creationUnkeys();
    void creationByName();
    void creationFailsOnBadSetting_data();
    void creationFailsOnBadSetting();
    void creationGoesOnWithoutRigctld();

    void squelchReading_data();
    void squelchReading();
    void squelchOnHungRigctldFailsWithinBound();

    void setTransmitAloneNeverKeys();
    void firstSampleNotBeforePttConfirmedAndDelay_data();
    void firstSampleNotBeforePttConfirmedAndDelay();
    void noSoundWithoutConfirmedPtt_data();
    void noSoundWithoutConfirmedPtt();
    void lateKeyAfterUnkeyIsUndone();
    void noKeyingForSendThatCannotSound_data();
    void noKeyingForSendThatCannotSound();
    void pttHeldThroughLongFile_data();
    void pttHeldThroughLongFile();
    void pttDroppedWhenReleasedMidFile();
    void playFileAloneKeysUntilTheEnd();
    void fileSentWhilePlayingWaitsItsTurn();
    void waitingFileThatCannotPlayIsPassed();
    void waitingFilesAreFew();
    void hugeFileKeepsKeyed();
    void nothingKeyedBeforeOutputOpens();
    void outputOpensBeforeKeying();
    void playbackEndTold_data();
    void playbackEndTold();
    void waitingFileTakesTurnOnlyOnFreeChannel_data();
    void waitingFileTakesTurnOnlyOnFreeChannel();
    void soundServerLostAndBackLogged();
    void unkeyRetriedAfterRigctldWasAway();
    void droppedConnectionIsMadeAgain();
    void lostAndBackToldOnceEach();

    void windowRunsWithoutRigctldAndSendsOnceItAppears();
};

void TestStationLink::voxStationNeverBusyAndPlays()
{
    LinkUnderTest s = makeStation(QString(), 300ms);
    QVERIFY2(s.link, s.status.description.c_str());
    std::int16_t rf = 7, ip = 7;
    QVERIFY(s.link->RfBusy(rf).ok());
    QVERIFY(s.link->IpBusy(ip).ok());
    QCOMPARE(rf, std::int16_t(0));
    QCOMPARE(ip, std::int16_t(0));
    const auto before = std::chrono::steady_clock::now();
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(s.link->PlayFile("/station/a.wav", true).ok());
    QCOMPARE(s.player->played, std::vector<std::string>{"/station/a.wav"});
    QVERIFY(s.station().isOnAir());
    // The sound keys a VOX radio itself: there is no PTT to wait for.
    QVERIFY(s.player->startTimes.front() <= before + 100ms);
    QVERIFY(s.log->lines.isEmpty());
}

// Script: "K" SetTransmit(true), "P" PlayFile, "U" SetTransmit(false), "E" the sound ends;
// after each, whether the listener is told the program is on the air.
void TestStationLink::listenerToldOfOwnTransmission_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("failPlay");
    QTest::addColumn<QString>("transmitting");
    QTest::newRow("sound outlasting the unkey") << "KPUE" << false << "1110";
    QTest::newRow("file that cannot play") << "KPU" << true << "110";
    QTest::newRow("second file waits its turn") << "KPUKPUEE" << false << "11111110";
    QTest::newRow("play alone, without keying") << "PE" << false << "10";
}

void TestStationLink::listenerToldOfOwnTransmission()
{
    QFETCH(QString, script);
    QFETCH(bool, failPlay);
    QFETCH(QString, transmitting);
    auto player = std::make_unique<FakePlayer>();
    FakePlayer &sound = *player;
    sound.failPlay = failPlay;
    auto made = std::make_unique<FakeListener>();
    FakeListener &listener = *made;
    StationSettings settings;
    settings.rf.detection = RfDetection::Audio;
    LinkCreation created = createStationLink(settings, std::move(player), nullptr, std::move(made));
    QVERIFY(created.link);
    QString told;
    for (const QChar step : script) {
        if (step == u'K' || step == u'U')
            created.link->SetTransmit(step == u'K');
        else if (step == u'P')
            created.link->PlayFile("/station/aviso.wav", true);
        else
            sound.end(PlaybackEnd::Finished);
        told += listener.transmitting ? u'1' : u'0';
    }
    QCOMPARE(told, transmitting);
}

void TestStationLink::radioSideFromListener_data()
{
    QTest::addColumn<bool>("withRig");
    QTest::addColumn<bool>("channelBusy");
    QTest::addColumn<bool>("lost");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("code");
    QTest::newRow("free") << false << false << false << 0 << 0;
    QTest::newRow("busy") << false << true << false << -1 << 0;
    QTest::newRow("busy, rigctld keying but not asked") << true << true << false << -1 << 0;
    QTest::newRow("input lost") << false << true << true << 0 << int(stationerror::NoAudioInput);
}

void TestStationLink::radioSideFromListener()
{
    QFETCH(bool, withRig);
    QFETCH(bool, channelBusy);
    QFETCH(bool, lost);
    QFETCH(int, value);
    QFETCH(int, code);
    ScriptedRig rig;
    rig.scriptSquelch({channelBusy ? "0" : "1"}); // rigctld would say the opposite
    auto made = std::make_unique<FakeListener>();
    made->channelBusy = channelBusy;
    made->lost = lost;
    StationSettings settings = settingsFor(withRig ? rigSetting(rig) : QString());
    settings.rf.detection = RfDetection::Audio;
    LinkCreation created =
        createStationLink(settings, std::make_unique<FakePlayer>(), nullptr, std::move(made));
    QVERIFY(created.link);
    rig.clearCommands();
    std::int16_t read = 5;
    QCOMPARE(int(created.link->RfBusy(read).code), code);
    QCOMPARE(int(read), value);
    QVERIFY(rig.commands().empty());
}

void TestStationLink::creationUnkeys()
{
    ScriptedRig rig;
    rig.forcePtt(true); // left keyed by an earlier run
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY2(s.link, s.status.description.c_str());
    QCOMPARE(rig.commands(), std::vector<std::string>{"T 0"});
    QVERIFY(!rig.ptt());
    QVERIFY(s.log->lines.isEmpty());
}

// localhost may name ::1 first while rigctld listens on 127.0.0.1 only.
void TestStationLink::creationByName()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(QStringLiteral("localhost:%1").arg(rig.port()));
    QVERIFY2(s.link, s.status.description.c_str());
    QVERIFY(s.link->PlayFile("/station/a.wav", true).ok());
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
    LinkUnderTest s = makeStation(setting);
    QVERIFY(!s.link);
    QCOMPARE(s.status.code, stationerror::BadSetting);
    const QString text = QString::fromStdString(s.status.description);
    QVERIFY2(text.contains(setting) && text.contains(QStringLiteral("rigctld em estacao.ini")),
             qPrintable(text));
}

// rigctld may start after the program: the link is made, says so once, and the radio is
// unkeyed as soon as rigctld answers.
void TestStationLink::creationGoesOnWithoutRigctld()
{
    ScriptedRig rig(ScriptedRig::Start::Absent);
    QElapsedTimer clock;
    clock.start();
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(clock.elapsed() < kBoundWithSlackMs);
    QVERIFY2(s.link, s.status.description.c_str());
    QCOMPARE(s.log->lines.size(), 1);
    QVERIFY2(s.log->lines.front().contains(rigSetting(rig)), qPrintable(s.log->lines.front()));

    rig.forcePtt(true);
    rig.appear();
    std::int16_t value = 0;
    QVERIFY(s.link->RfBusy(value).ok());
    QCOMPARE(rig.commands(), (std::vector<std::string>{"T 0", "\\get_dcd"}));
    QVERIFY(!rig.ptt());
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
    LinkUnderTest s = makeStation(rigSetting(rig));
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
    // rigctld answered throughout: nothing to tell.
    QVERIFY(s.log->lines.isEmpty());
}

void TestStationLink::squelchOnHungRigctldFailsWithinBound()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
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

// Keying before the file is known to sound would be a carrier with nothing to say.
void TestStationLink::setTransmitAloneNeverKeys()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    rig.clearCommands();
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(s.link->SetTransmit(false).ok());
    QVERIFY(rig.commands().empty());
    QVERIFY(!rig.ptt());
}

void TestStationLink::firstSampleNotBeforePttConfirmedAndDelay_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("radioMs"); // how late the radio confirms PTT
    QTest::newRow("no delay") << 0 << 0;
    QTest::newRow("300 ms") << 300 << 0;
    QTest::newRow("300 ms, radio confirms after 200 ms") << 300 << 200;
    QTest::newRow("100 ms, radio confirms after 400 ms") << 100 << 400;
}

void TestStationLink::firstSampleNotBeforePttConfirmedAndDelay()
{
    QFETCH(int, delayMs);
    QFETCH(int, radioMs);
    const std::chrono::milliseconds delay(delayMs);
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig), delay);
    QVERIFY(s.link);
    rig.pttDelayMs = radioMs;
    bool keyedAtPlay = false;
    s.player->onPlay = [&](const std::string &) { keyedAtPlay = rig.ptt(); };

    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(rig.pttLog().empty() || !rig.pttLog().back().on); // not keyed yet
    QVERIFY(s.link->PlayFile("/station/a.wav", true).ok());
    const auto returned = std::chrono::steady_clock::now();

    QVERIFY(keyedAtPlay);
    const std::vector<ScriptedRig::PttChange> changes = rig.pttLog();
    QVERIFY(!changes.empty() && changes.back().on);
    QCOMPARE(s.player->startTimes.size(), size_t(1));
    const auto startAt = s.player->startTimes.front();
    const auto lead =
        std::chrono::duration_cast<std::chrono::microseconds>(startAt - changes.back().at);
    QVERIFY2(
        startAt >= changes.back().at + delay,
        qPrintable(QStringLiteral("first sample %1 µs after PTT confirmed").arg(lead.count())));
    // And not needlessly later: the delay counts from the confirmation, not from elsewhere.
    QVERIFY2(
        startAt <= returned + delay,
        qPrintable(QStringLiteral("first sample %1 µs after PTT confirmed").arg(lead.count())));
    // Nothing blocked for the delay: PlayFile returned once PTT was confirmed.
    QVERIFY(returned < changes.back().at + delay || delay == 0ms);
}

void TestStationLink::noSoundWithoutConfirmedPtt_data()
{
    QTest::addColumn<int>("radioMs");
    QTest::addColumn<bool>("hang");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<bool>("keyedLate"); // the radio is keyed after the link gave up
    QTest::newRow("radio confirms after 800 ms") << 800 << false << false << true;
    QTest::newRow("rigctld hangs") << 0 << true << false << false;
    QTest::newRow("rigctld refuses") << 0 << false << true << false;
}

void TestStationLink::noSoundWithoutConfirmedPtt()
{
    QFETCH(int, radioMs);
    QFETCH(bool, hang);
    QFETCH(bool, refuse);
    QFETCH(bool, keyedLate);
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig), 300ms);
    QVERIFY(s.link);
    rig.pttDelayMs = radioMs;
    rig.mode = hang ? ScriptedRig::Mode::Hang : ScriptedRig::Mode::Answer;
    rig.refusePtt = refuse;

    QElapsedTimer clock;
    clock.start();
    QVERIFY(s.link->SetTransmit(true).ok());
    const LinkStatus played = s.link->PlayFile("/station/a.wav", true);
    QVERIFY(clock.elapsed() < kBoundWithSlackMs);
    QVERIFY(!played.ok());
    QVERIFY(s.player->played.empty()); // not a sample
    QVERIFY(!s.station().isOnAir());
    QVERIFY(!played.description.empty()); // the window's log line gives the reason

    // rigctld answers again: the radio ends unkeyed, however late the key came.
    rig.mode = ScriptedRig::Mode::Answer;
    rig.pttDelayMs = 0;
    rig.refusePtt = false;
    s.link->SetTransmit(false);
    std::int16_t value = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (s.link->RfBusy(value), !rig.pttLog().empty() && !rig.pttLog().back().on && !rig.ptt()),
        3000);
    QCOMPARE(rig.everKeyed(), keyedLate);
    // Once no key given up on can still reach the radio, the link leaves it alone.
    QTRY_VERIFY_WITH_TIMEOUT((rig.clearCommands(), s.link->RfBusy(value),
                              rig.commands() == std::vector<std::string>{"\\get_dcd"}),
                             StationLink::kLateCommand.count() + 2000);
    QVERIFY(!rig.ptt());
}

// rigctld serves each connection on its own thread: the key given up on may be carried out
// after the unkey sent on a fresh connection. The unkey is said again until that can no
// longer happen.
void TestStationLink::lateKeyAfterUnkeyIsUndone()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    rig.mode = ScriptedRig::Mode::Hang;
    QVERIFY(!s.link->PlayFile("/station/a.wav", true).ok());
    rig.mode = ScriptedRig::Mode::Answer;
    QVERIFY(s.link->SetTransmit(false).ok());
    QVERIFY(!rig.ptt());

    rig.forcePtt(true); // the late key
    std::int16_t value = 0;
    QVERIFY(s.link->RfBusy(value).ok());
    QVERIFY(!rig.ptt());
}

void TestStationLink::noKeyingForSendThatCannotSound_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("why");
    QTest::newRow("not a PCM WAV file")
        << int(stationerror::BadAudioFile) << "Não é possível tocar \"/station/a.wav\"";
    QTest::newRow("no audio output")
        << int(stationerror::NoAudioOutput) << "Nenhuma saída de áudio disponível.";
    QTest::newRow("named output absent")
        << int(stationerror::NoAudioOutput) << "A saída de áudio \"USB\" não está disponível.";
}

void TestStationLink::noKeyingForSendThatCannotSound()
{
    QFETCH(int, code);
    QFETCH(QString, why);
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig), 300ms);
    QVERIFY(s.link);
    s.player->failPlay = true;
    s.player->failure = LinkStatus::failure(code, why.toStdString());
    rig.clearCommands();

    const LinkStatus played = s.send("/station/a.wav");

    QVERIFY(!rig.everKeyed());
    QVERIFY(rig.commands().empty());
    QVERIFY(!rig.ptt());
    QVERIFY(s.player->played.empty());
    QCOMPARE(s.player->checked, std::vector<std::string>{"/station/a.wav"});
    // The send is told why, for the window's log line; the link adds none of its own.
    QCOMPARE(played.code, code);
    QCOMPARE(QString::fromStdString(played.description), why);
    QVERIFY(s.log->lines.isEmpty());
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
    LinkUnderTest s = makeStation(rigSetting(rig));
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
    QVERIFY(!s.station().isOnAir());
}

void TestStationLink::pttDroppedWhenReleasedMidFile()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    QVERIFY(s.link->SetTransmit(true).ok());
    QVERIFY(s.link->PlayFile("/station/long.wav", true).ok());
    QVERIFY(rig.ptt());
    s.link.reset();
    QVERIFY(!rig.ptt());
}

void TestStationLink::playFileAloneKeysUntilTheEnd()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig), 200ms);
    QVERIFY(s.link);
    // A player that never tells the end: the delay, the file's own length and the margin
    // bound it.
    s.player->length = std::chrono::milliseconds(100);
    // Timed from before the call: the bound starts inside it, after the PTT exchange.
    std::vector<PlayOutcome> outcomes;
    s.link->setPlayOutcomeHandler([&](const PlayOutcome &o) { outcomes.push_back(o); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(s.link->PlayFile("/station/short.wav", true).ok());
    QVERIFY(rig.ptt());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ptt(), 5000);
    const qint64 keyed = clock.elapsed();
    const qint64 bound = (200ms + s.player->length + StationLink::kPlaybackMargin).count();
    QVERIFY2(keyed >= bound && keyed < bound + 500, qPrintable(QString::number(keyed)));
    QVERIFY(!s.player->playing); // and the player was told to stop
    // Not told whole: nothing said the last sample was played.
    QCOMPARE(outcomes.size(), std::size_t(1));
    QVERIFY(!outcomes[0].status.ok());
    QVERIFY(outcomes[0].started);
}

void TestStationLink::fileSentWhilePlayingWaitsItsTurn()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig), 300ms);
    QVERIFY(s.link);
    for (const char *file : {"/station/a.wav", "/station/b.wav"})
        s.send(file);
    // The second did not cut the first short.
    QCOMPARE(s.player->played, std::vector<std::string>{"/station/a.wav"});
    QCOMPARE(s.player->stops, 0);
    QVERIFY(rig.ptt());

    rig.clearCommands();
    s.player->end(PlaybackEnd::Finished);
    QCOMPARE(s.player->played, (std::vector<std::string>{"/station/a.wav", "/station/b.wav"}));
    // Under the same carrier, with no new keying and no new delay; only the squelch was read
    // when its turn came.
    QVERIFY(rig.ptt());
    QCOMPARE(rig.commands(), std::vector<std::string>{"\\get_dcd"});
    QVERIFY(s.player->startTimes.back() <= std::chrono::steady_clock::now());
    s.player->end(PlaybackEnd::Finished);
    QVERIFY(!rig.ptt());
}

void TestStationLink::waitingFileThatCannotPlayIsPassed()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    QVERIFY(s.link->PlayFile("/station/a.wav", true).ok());
    // One that cannot play is refused at once, and not kept waiting.
    s.player->unplayable = {"/station/x.wav"};
    QVERIFY(!s.link->PlayFile("/station/x.wav", true).ok());
    QVERIFY(s.link->PlayFile("/station/b.wav", true).ok());
    QVERIFY(s.link->PlayFile("/station/c.wav", true).ok());
    QVERIFY(rig.ptt());
    // By their turn, these cannot either (removed meanwhile, say).
    s.player->unplayable = {"/station/b.wav", "/station/c.wav"};
    s.player->end(PlaybackEnd::Failed);
    QCOMPARE(s.player->played, std::vector<std::string>{"/station/a.wav"});
    QVERIFY(!rig.ptt());
    QVERIFY(!s.station().isOnAir());
    // x was refused to its sender; b and c failed later, which only the link can tell.
    QCOMPARE(s.log->lines.size(), 2);
    QVERIFY(s.log->lines[0].contains(QStringLiteral("/station/b.wav")));
    QVERIFY(s.log->lines[1].contains(QStringLiteral("/station/c.wav")));
}

void TestStationLink::waitingFilesAreFew()
{
    LinkUnderTest s = makeStation(QString());
    QVERIFY(s.link);
    QVERIFY(s.link->PlayFile("/station/0.wav", true).ok());
    for (std::size_t i = 1; i <= StationLink::kMaxQueued; ++i)
        QVERIFY(s.link->PlayFile("/station/" + std::to_string(i) + ".wav", true).ok());
    const LinkStatus refused = s.link->PlayFile("/station/late.wav", true);
    QVERIFY(!refused.ok());
    QCOMPARE(refused.code, stationerror::AudioFailed);
}

// The output does not open (the sound server is away, say): the radio is never keyed, and
// the send is told why.
void TestStationLink::nothingKeyedBeforeOutputOpens()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig), 300ms);
    QVERIFY(s.link);
    s.player->unopenable = {"/station/a.wav"};
    rig.clearCommands();
    const LinkStatus played = s.send("/station/a.wav");
    QVERIFY(!played.ok());
    QCOMPARE(played.description, std::string("output did not open"));
    QVERIFY(!rig.everKeyed());
    QVERIFY(s.player->played.empty());
    QVERIFY(!s.station().isOnAir());
}

void TestStationLink::outputOpensBeforeKeying()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig), 300ms);
    QVERIFY(s.link);
    std::vector<bool> keyedAtPrepare, keyedAtPlay;
    s.player->onPrepare = [&](const std::string &) { keyedAtPrepare.push_back(rig.ptt()); };
    s.player->onPlay = [&](const std::string &) { keyedAtPlay.push_back(rig.ptt()); };
    QVERIFY(s.send("/station/a.wav").ok());
    QCOMPARE(keyedAtPrepare, std::vector<bool>{false});
    QCOMPARE(keyedAtPlay, std::vector<bool>{true});
    // PTT refused: the output held open for it is let go.
    s.player->end(PlaybackEnd::Finished);
    const int stops = s.player->stops;
    rig.refusePtt = true;
    QVERIFY(!s.send("/station/b.wav").ok());
    QCOMPARE(s.player->prepared.back(), std::string("/station/b.wav"));
    QCOMPARE(s.player->played.size(), std::size_t(1));
    QVERIFY(s.player->stops > stops);
}

// How a play ends, as the window's log line is made of it: the outcome's status and whether
// any of it went out; the radio is unkeyed at once whatever the end.
void TestStationLink::playbackEndTold_data()
{
    QTest::addColumn<PlaybackEnd>("how");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("why");
    QTest::newRow("played out") << PlaybackEnd::Finished << true << true << "";
    QTest::newRow("server stopped part way")
        << PlaybackEnd::Failed << false << true << "parou no meio do arquivo";
    QTest::newRow("output gone part way")
        << PlaybackEnd::OutputGone << false << true << "a saída de áudio sumiu";
    QTest::newRow("nothing reached the output")
        << PlaybackEnd::NothingPlayed << false << false << "nenhuma amostra chegou";
}

void TestStationLink::playbackEndTold()
{
    QFETCH(PlaybackEnd, how);
    QFETCH(bool, ok);
    QFETCH(bool, started);
    QFETCH(QString, why);
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    std::vector<PlayOutcome> outcomes;
    s.link->setPlayOutcomeHandler([&](const PlayOutcome &o) { outcomes.push_back(o); });
    QVERIFY(s.send("/station/a.wav").ok());
    QVERIFY(rig.ptt());
    QTest::qWait(50);
    s.player->end(how);
    QVERIFY(!rig.ptt());
    QVERIFY(!s.link->transmitting());
    QCOMPARE(outcomes.size(), std::size_t(1));
    QCOMPARE(outcomes[0].status.ok(), ok);
    QCOMPARE(outcomes[0].started, started);
    QVERIFY2(QString::fromStdString(outcomes[0].status.description).contains(why),
             outcomes[0].status.description.c_str());
    QCOMPARE(outcomes[0].played.count() >= 50, started);
}

// A file waiting behind another reads the channel when its turn comes, from rigctld's
// squelch, from the listener, or from the station's own check; busy, it is not played,
// the radio is unkeyed and its outcome says why.
void TestStationLink::waitingFileTakesTurnOnlyOnFreeChannel_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("busy");
    for (const char *source : {"rigctld", "listener", "station"}) {
        QTest::addRow("%s, free", source) << source << false;
        QTest::addRow("%s, busy", source) << source << true;
    }
}

void TestStationLink::waitingFileTakesTurnOnlyOnFreeChannel()
{
    QFETCH(QString, source);
    QFETCH(bool, busy);
    ScriptedRig rig;
    auto player = std::make_unique<FakePlayer>();
    FakePlayer &sound = *player;
    auto made = std::make_unique<FakeListener>();
    // Only a link that hears the channel on audio keeps its listener.
    FakeListener *listener = source == "listener" ? made.get() : nullptr;
    StationSettings settings = settingsFor(rigSetting(rig));
    settings.rf.detection = source == "listener" ? RfDetection::Audio : RfDetection::Rigctld;
    LinkCreation created = createStationLink(settings, std::move(player), nullptr, std::move(made));
    QVERIFY(created.link);
    LinkObject &link = *created.link;
    std::vector<PlayOutcome> outcomes;
    link.setPlayOutcomeHandler([&](const PlayOutcome &o) { outcomes.push_back(o); });
    std::vector<std::string> asked;
    bool transmittingWhenAsked = false;
    if (source == "station")
        link.setTurnCheck([&](const std::string &path) {
            asked.push_back(path);
            transmittingWhenAsked = link.transmitting();
            return !busy;
        });

    QVERIFY(link.PlayFile("/station/aviso.wav", true).ok());
    QVERIFY(link.PlayFile("/station/id.wav", true).ok());
    // The squelch opens while the first plays.
    rig.scriptSquelch({busy ? "1" : "0"});
    if (listener)
        listener->channelBusy = busy;
    sound.end(PlaybackEnd::Finished);

    const std::vector<std::string> played =
        busy ? std::vector<std::string>{"/station/aviso.wav"}
             : std::vector<std::string>{"/station/aviso.wav", "/station/id.wav"};
    QCOMPARE(sound.played, played);
    QCOMPARE(rig.ptt(), !busy);
    QCOMPARE(link.transmitting(), !busy);
    if (source == "station") {
        QCOMPARE(asked, std::vector<std::string>{"/station/id.wav"});
        QVERIFY(transmittingWhenAsked); // its own carrier is no free channel
    }
    QCOMPARE(outcomes.size(), std::size_t(busy ? 2 : 1));
    if (busy) {
        QCOMPARE(outcomes[1].path, std::string("/station/id.wav"));
        QCOMPARE(outcomes[1].status.code, stationerror::ChannelBusy);
        QVERIFY(!outcomes[1].started);
    }
}

void TestStationLink::soundServerLostAndBackLogged()
{
    LinkUnderTest s = makeStation(QString());
    QVERIFY(s.link);
    s.player->server(false);
    s.player->server(true);
    QCOMPARE(s.log->lines.size(), 2);
    QVERIFY2(s.log->lines[0].contains(QStringLiteral("servidor de som não responde")),
             qPrintable(s.log->lines[0]));
    QVERIFY2(s.log->lines[1].contains(QStringLiteral("servidor de som voltou")),
             qPrintable(s.log->lines[1]));
}

void TestStationLink::hugeFileKeepsKeyed()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    // About fifty days (four gigabytes at 1000 Hz): more milliseconds than a timer's int
    // holds, chosen so that a wrapped count would end within the wait below.
    s.player->length =
        std::chrono::milliseconds((qint64(1) << 32) + 50) - StationLink::kPlaybackMargin;
    QVERIFY(s.link->PlayFile("/station/huge.wav", true).ok());
    QTest::qWait(100);
    QVERIFY(rig.ptt());
    QVERIFY(s.station().isOnAir());
    s.player->end(PlaybackEnd::Finished);
    QVERIFY(!rig.ptt());
}

void TestStationLink::unkeyRetriedAfterRigctldWasAway()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    QVERIFY(s.link->PlayFile("/station/a.wav", true).ok());
    QVERIFY(rig.ptt());
    rig.mode = ScriptedRig::Mode::Hang;
    s.player->end(PlaybackEnd::Finished);
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
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    QCOMPARE(rig.connections(), 1);
    // rigctld drops the connection on the next command: that call fails...
    rig.mode = ScriptedRig::Mode::Drop;
    QElapsedTimer clock;
    clock.start();
    std::int16_t value = 0;
    QVERIFY(!s.link->RfBusy(value).ok());
    QVERIFY(clock.elapsed() < kBoundWithSlackMs);
    // ...and the next one connects anew.
    rig.mode = ScriptedRig::Mode::Answer;
    QVERIFY(s.link->PlayFile("/station/a.wav", true).ok());
    QVERIFY(rig.ptt());
    QVERIFY(rig.connections() >= 2);
}

// A station service keeps its standard error in the journal: one line when rigctld stops
// answering and one when it is back, however many calls fail in between.
void TestStationLink::lostAndBackToldOnceEach()
{
    ScriptedRig rig;
    LinkUnderTest s = makeStation(rigSetting(rig));
    QVERIFY(s.link);
    std::int16_t value = 0;
    QVERIFY(s.link->RfBusy(value).ok());
    QVERIFY(s.log->lines.isEmpty());

    rig.mode = ScriptedRig::Mode::Drop;
    for (int i = 0; i < 5; ++i)
        QVERIFY(!s.link->RfBusy(value).ok());
    QCOMPARE(s.log->lines.size(), 1);
    QVERIFY2(
        s.log->lines[0].contains(QStringLiteral("Sem contato com o rigctld em ") + rigSetting(rig)),
        qPrintable(s.log->lines[0]));
    QVERIFY2(s.log->lines[0].endsWith(QStringLiteral(". Enquanto ele não responder, o rádio não "
                                                     "é chaveado e nenhum arquivo é tocado.")),
             qPrintable(s.log->lines[0]));
    // As the line says: a send meanwhile fails, unkeyed and silent, and adds no line.
    QVERIFY(!s.link->PlayFile("/station/a.wav", true).ok());
    QVERIFY(!rig.ptt());
    QVERIFY(s.player->played.empty());
    QCOMPARE(s.log->lines.size(), 1);

    rig.mode = ScriptedRig::Mode::Answer;
    for (int i = 0; i < 3; ++i)
        QVERIFY(s.link->RfBusy(value).ok());
    QCOMPARE(s.log->lines.size(), 2);
    QCOMPARE(s.log->lines[1],
             QStringLiteral("O rigctld em %1 voltou a responder.").arg(rigSetting(rig)));

    // A refusal is an answer: rigctld is there.
    rig.scriptSquelch({"RPRT -11"});
    QVERIFY(!s.link->RfBusy(value).ok());
    QCOMPARE(s.log->lines.size(), 2);
}

// The window opens and the schedule runs while rigctld is not there yet; the first send
// after it appears is keyed.
void TestStationLink::windowRunsWithoutRigctldAndSendsOnceItAppears()
{
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(QStringLiteral("aviso.wav")), "RIFF"));
    ScriptedRig rig(ScriptedRig::Start::Absent);
    FakeLog log;
    FakePlayer *player = nullptr;
    Harness h([&] {
        auto made = std::make_unique<FakePlayer>();
        player = made.get();
        return createStationLink(settingsFor(rigSetting(rig), 300ms), std::move(made), &log);
    });
    FakePlatform &fake = h.fake;
    fake.desktop.folder = folder.nativePath();
    QVERIFY(h.start());
    QVERIFY(fake.boxes.shown.empty());
    QCOMPARE(log.lines.size(), 1);
    h.secondTimer()->stop(); // the fake clock drives the schedule here
    h.linkStateTimer()->stop();
    h.setSlot(0, QStringLiteral("14:30"), QStringLiteral("aviso.wav"));
    h.setSlot(1, QStringLiteral("14:31"), QStringLiteral("aviso.wav"));

    h.s().readSides();
    // No rigctld to ask: the radio side is not known to be free.
    QCOMPARE(h.label(QStringLiteral("Label5"))->text(), QStringLiteral("RF sem leitura"));
    h.tickAt(14, 30, 0);
    // The schedule ran: the slot came due and was tried, but nothing went on the air.
    QCOMPARE(fake.pause.pauses, std::vector<int>{kTransmitPauseMs});
    QVERIFY(player->played.empty());
    QVERIFY(fake.boxes.shown.empty());

    rig.appear();
    h.tickAt(14, 31, 0);
    QCOMPARE(fake.pause.pauses, (std::vector<int>{kTransmitPauseMs, kTransmitPauseMs}));
    QVERIFY(rig.ptt());
    QCOMPARE(player->played.size(), size_t(1));
    QVERIFY(player->played.front().ends_with("aviso.wav"));
    QVERIFY(log.lines.contains(
        QStringLiteral("O rigctld em %1 voltou a responder.").arg(rigSetting(rig))));
    player->end(PlaybackEnd::Finished);
    QVERIFY(!rig.ptt());
}

QTEST_MAIN(TestStationLink)
#include "test_station_link.moc"
