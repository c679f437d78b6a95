// Real playback through the sound stack, into a private PulseAudio server whose only
// output is a null sink: the end is reported once the file has played, not before, a
// user-interface thread held for the transmit pause does not break the sound, the sound
// waits for its start time, and the output is found by its name.

#include "link/StationErrors.h"
#include "link/TransmitSequence.h"
#include "link/audio/AudioPlayer.h"
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"
#include "support/Harness.h"
#include "support/OutputList.h"
#include "support/PulseServer.h"
#include "support/ScriptedRig.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"
#include "support/Wav.h"
#include "support/WorkingFolder.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

using namespace anunciel;
using namespace anunciel::test;

class TestPulsePlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playsToTheEnd_data();
    void playsToTheEnd();
    void stoppedPlaybackReportsNoEnd();
    void replacedPlaybackReportsOnlyTheNewEnd();
    void rapidReplacementsEndOnce();
    void stationKeyedForTheWholeFile();
    void sendNowKeysRadioForTheWholeAnnouncement();
    void soundWaitsForItsStart();
    void outputChosenByName_data();
    void outputChosenByName();
    void absentOutputKeysNothing();
    void outputListWithoutDisplay();
    void waitingSlotKeysOnceAfterSquelchCloses();
    void outputRemovedMidFileUnkeys_data();
    void outputRemovedMidFileUnkeys();
    void serverKilledAndBackLeavesNoDeadCarrier();
    void queuedSendTakesItsTurnOnlyOnFreeChannel_data();
    void queuedSendTakesItsTurnOnlyOnFreeChannel();

private:
    QString write(const QString &name, const QByteArray &bytes);

    PulseServer m_server;
    QTemporaryDir m_dir;
};

void TestPulsePlayback::initTestCase()
{
    if (!PulseServer::isInstalled()) {
        skipAll();
        QSKIP("pulseaudio not found: install Debian's pulseaudio to test real playback into "
              "a null sink");
    }
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_server.start(), "pulseaudio did not start");
}

QString TestPulsePlayback::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

void TestPulsePlayback::playsToTheEnd_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("ms");
    QTest::newRow("8-bit mono 8000 Hz") << 1 << 8000 << 8 << 1500;
    QTest::newRow("16-bit stereo 44100 Hz") << 2 << 44100 << 16 << 700;
    QTest::newRow("24-bit mono 48000 Hz") << 1 << 48000 << 24 << 700;
}

void TestPulsePlayback::playsToTheEnd()
{
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(int, bits);
    QFETCH(int, ms);
    const QString path = write(QStringLiteral("a.wav"), pcmWav(channels, rate, bits, ms));
    QVERIFY(!path.isEmpty());

    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    std::vector<PlaybackEnd> ends;
    player->setEndHandler([&ends](PlaybackEnd end) { ends.push_back(end); });
    QElapsedTimer clock;
    clock.start();
    const AudioPlayer::Start start =
        player->play(path.toStdString(), std::chrono::steady_clock::now());
    QVERIFY2(start.status.ok(), start.status.description.c_str());
    QCOMPARE(int(start.length.count()), ms);
    QVERIFY(clock.elapsed() < 200); // returns at once

    // The transmit pause holds this thread; the sound must not depend on it.
    QThread::msleep(1000);

    QTRY_VERIFY_WITH_TIMEOUT(!ends.empty(), ms + 3000);
    const qint64 took = clock.elapsed();
    QCOMPARE(ends, std::vector<PlaybackEnd>{PlaybackEnd::Finished});
    QVERIFY2(took >= ms, qPrintable(QString::number(took)));
    QVERIFY2(took < ms + StationLink::kPlaybackMargin.count(), qPrintable(QString::number(took)));
}

void TestPulsePlayback::stoppedPlaybackReportsNoEnd()
{
    const QString path = write(QStringLiteral("b.wav"), announcementWav(500));
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    QVERIFY(player->play(path.toStdString(), std::chrono::steady_clock::now()).status.ok());
    QTest::qWait(100);
    player->stop();
    QTest::qWait(1500);
    QCOMPARE(ends, 0);
}

void TestPulsePlayback::replacedPlaybackReportsOnlyTheNewEnd()
{
    const QString longer = write(QStringLiteral("c.wav"), announcementWav(5000));
    const QString shorter = write(QStringLiteral("d.wav"), announcementWav(300));
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    QVERIFY(player->play(longer.toStdString(), std::chrono::steady_clock::now()).status.ok());
    QTest::qWait(50);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(player->play(shorter.toStdString(), std::chrono::steady_clock::now()).status.ok());
    QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 3000);
    // Well before the first file could have ended: the end is the second one's.
    QVERIFY2(clock.elapsed() < 300 + StationLink::kPlaybackMargin.count(),
             qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(300);
    QCOMPARE(ends, 1);
}

// Each replacement tears a sink down while the next one starts on the playback thread.
void TestPulsePlayback::rapidReplacementsEndOnce()
{
    const QString path = write(QStringLiteral("f.wav"), announcementWav(200));
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    for (int i = 0; i < 30; ++i) {
        QVERIFY(player->play(path.toStdString(), std::chrono::steady_clock::now()).status.ok());
        QTest::qWait(i % 3 == 0 ? 0 : 15);
    }
    QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 200 + StationLink::kPlaybackMargin.count());
    QTest::qWait(300);
    QCOMPARE(ends, 1);
}

void TestPulsePlayback::stationKeyedForTheWholeFile()
{
    // A VOX station: no rigctld, so keying is what the link wants.
    const QString path = write(QStringLiteral("e.wav"), announcementWav(2000));
    LinkCreation created = createStationLink(StationSettings(), createSystemAudioPlayer(), nullptr);
    QVERIFY(created.link);
    auto &link = static_cast<StationLink &>(*created.link);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link.SetTransmit(true).ok());
    QVERIFY(link.PlayFile(path.toStdString(), true).ok());
    QThread::msleep(1000);
    QVERIFY(link.SetTransmit(false).ok());
    QVERIFY(link.isOnAir());
    QTRY_VERIFY_WITH_TIMEOUT(!link.isOnAir(), 5000);
    QVERIFY2(clock.elapsed() >= 2000, qPrintable(QString::number(clock.elapsed())));
}

// The whole program's send, on a real sound output: the sequence unkeys after its one
// second, but the radio stays keyed until the three-second announcement has played.
void TestPulsePlayback::sendNowKeysRadioForTheWholeAnnouncement()
{
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(QStringLiteral("aviso.wav")), announcementWav(3000)));
    ScriptedRig rig;
    Harness h([&rig] {
        StationSettings settings; // the default keying delay
        settings.rigctld = QString::fromStdString(rig.address());
        return createStationLink(settings, createSystemAudioPlayer(), nullptr);
    });
    FakePlatform &fake = h.fake;
    fake.desktop.folder = folder.nativePath();
    QVERIFY(h.start());
    h.secondTimer()->stop(); // only the send is under test here
    h.linkStateTimer()->stop();
    h.fileName(0)->setText(QStringLiteral("aviso.wav"));

    QElapsedTimer clock;
    clock.start();
    h.sendNow(0);
    QCOMPARE(fake.pause.pauses, std::vector<int>{1000});
    QVERIFY(rig.ptt()); // the sequence has unkeyed; the announcement holds the key
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ptt(), 3000 + StationLink::kPlaybackMargin.count() + 1000);
    const qint64 keyed = clock.elapsed();
    QVERIFY2(keyed >= kDefaultKeyingDelay.count() + 3000, qPrintable(QString::number(keyed)));
    QVERIFY(fake.boxes.shown.empty());
}

// The first sample waits for the keying delay: the file ends no earlier than its start time
// plus its length, although the call returned at once.
void TestPulsePlayback::soundWaitsForItsStart()
{
    const QString path = write(QStringLiteral("g.wav"), announcementWav(500));
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    QElapsedTimer clock;
    clock.start();
    const auto startAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    QVERIFY(player->play(path.toStdString(), startAt).status.ok());
    QVERIFY(clock.elapsed() < 200);
    QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 700 + 500 + StationLink::kPlaybackMargin.count());
    QVERIFY2(clock.elapsed() >= 700 + 500, qPrintable(QString::number(clock.elapsed())));
}

void TestPulsePlayback::outputChosenByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::newRow("system default") << "" << 0;
    QTest::newRow("by its description") << "Null Output" << 0;
    QTest::newRow("by its id") << "null" << 0;
    QTest::newRow("absent") << "USB Audio Device" << int(stationerror::NoAudioOutput);
    QTest::newRow("case matters") << "null output" << int(stationerror::NoAudioOutput);
}

void TestPulsePlayback::outputChosenByName()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    const QString path = write(QStringLiteral("h.wav"), announcementWav(200));
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer(name.toStdString());
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    QCOMPARE(int(player->check(path.toStdString()).status.code), code);
    const AudioPlayer::Start start =
        player->play(path.toStdString(), std::chrono::steady_clock::now());
    QCOMPARE(int(start.status.code), code);
    if (code == 0)
        QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 200 + StationLink::kPlaybackMargin.count());
    else
        QVERIFY2(QString::fromStdString(start.status.description).contains(name),
                 start.status.description.c_str());
}

// A named output that is not there at send time: the send fails without keying, and the log
// says so.
void TestPulsePlayback::absentOutputKeysNothing()
{
    const QString path = write(QStringLiteral("i.wav"), announcementWav(200));
    ScriptedRig rig;
    FakeLog log;
    StationSettings settings;
    settings.rigctld = QString::fromStdString(rig.address());
    settings.audioOutput = QStringLiteral("USB Audio Device");
    LinkCreation created = createStationLink(
        settings, createSystemAudioPlayer(settings.audioOutput.toStdString()), &log);
    QVERIFY(created.link);
    rig.clearCommands();
    FakeClock clock;
    FakePause pause(clock);
    const LinkStatus played =
        transmitFile(*created.link, pause, [&path] { return path.toStdString(); });
    QVERIFY(rig.commands().empty());
    QVERIFY(!rig.everKeyed());
    // The send is told why it failed, for the window's log line.
    QVERIFY(log.lines.isEmpty());
    QVERIFY(!played.ok());
    QVERIFY2(QString::fromStdString(played.description).contains("\"USB Audio Device\""),
             played.description.c_str());
}

// The operator's list of outputs, from a terminal without a display.
void TestPulsePlayback::outputListWithoutDisplay()
{
    const ProgramAnswer answer = listOutputsWithoutDisplay();
    QVERIFY(answer.ended);
    QCOMPARE(answer.exitCode, 0);
    const QStringList lines = answer.output.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].contains(QStringLiteral("saida_audio")), qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("* Null Output   (id: null)"));
}

// The program itself, with a sending window: the squelch is open when the slot comes due,
// and the radio is keyed once, canal_livre_s after it closed (the channel is read once a
// second: up to a second more).
void TestPulsePlayback::waitingSlotKeysOnceAfterSquelchCloses()
{
    constexpr int kFreeSeconds = 2;
    QTemporaryDir station;
    QVERIFY(station.isValid());
    // A copy of the program in the station folder, where it looks for the announcements.
    const QString program = station.filePath(QStringLiteral("anunciel"));
    QVERIFY(QFile::copy(QStringLiteral(ANUNCIEL_EXECUTABLE), program));
    QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("aviso.wav")), announcementWav(500)));
    // Due in this very minute: a program started inside the window sends as when it was
    // running at the slot's second, and no test waits for the next minute.
    const QString due = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("hora_msg.txt")),
                       due.toLatin1() + "\r\n\r\n\r\n\r\n"));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("mensagem_msg.txt")),
                       "aviso.wav\r\n\r\n\r\n\r\n"));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("estacao.ini")),
                       "janela_envio_min=2\ncanal_livre_s=" + QByteArray::number(kFreeSeconds) +
                           "\natraso_ptt_ms=0\n"));

    ScriptedRig rig;
    rig.scriptSquelch(std::vector<std::string>(100000, "1")); // a QSO on the channel
    QProcess anunciel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ANUNCIEL_RIGCTLD"), QString::fromStdString(rig.address()));
    anunciel.setProcessEnvironment(env);
    anunciel.setWorkingDirectory(station.path());
    anunciel.setProcessChannelMode(QProcess::ForwardedChannels);
    anunciel.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    anunciel.start(program, {});
    QVERIFY(anunciel.waitForStarted(5000));

    const auto squelchReads = [&rig] {
        int reads = 0;
        for (const std::string &c : rig.commands())
            reads += c == "\\get_dcd";
        return reads;
    };
    // Running, and the slot waiting through a few busy readings.
    QTRY_VERIFY_WITH_TIMEOUT(squelchReads() >= 4, 15000);
    QVERIFY(!rig.everKeyed());
    rig.scriptSquelch({}); // the QSO ends
    const auto closed = std::chrono::steady_clock::now();
    QTRY_VERIFY_WITH_TIMEOUT(rig.everKeyed(), (kFreeSeconds + 5) * 1000);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ptt(), 5000);
    QTest::qWait(2500); // no second send

    anunciel.terminate();
    QVERIFY(anunciel.waitForFinished(5000));
    int rises = 0;
    std::chrono::steady_clock::time_point keyed;
    for (const ScriptedRig::PttChange &change : rig.pttLog())
        if (change.on && rises++ == 0)
            keyed = change.at;
    QCOMPARE(rises, 1);
    const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(keyed - closed);
    qInfo("keyed %lld ms after the squelch closed (canal_livre_s=%d)",
          static_cast<long long>(after.count()), kFreeSeconds);
    QVERIFY2(after.count() >= kFreeSeconds * 1000 && after.count() <= kFreeSeconds * 1000 + 1500,
             qPrintable(QStringLiteral("keyed %1 ms after the squelch closed").arg(after.count())));
}

// The radio's output goes while a file plays (a USB interface unplugged): the server would
// carry the sound to the remaining output, the speaker. The play stops, the radio is unkeyed
// within a second, and the outcome says why; before its first sample, nothing went out.
void TestPulsePlayback::outputRemovedMidFileUnkeys_data()
{
    QTest::addColumn<int>("removeAfterMs");
    QTest::addColumn<bool>("started");
    QTest::newRow("part way through") << 1500 << true;
    QTest::newRow("during the keying delay") << 100 << false;
}

void TestPulsePlayback::outputRemovedMidFileUnkeys()
{
    QFETCH(int, removeAfterMs);
    QFETCH(bool, started);
    if (!PulseServer::hasPactl())
        QSKIP("pactl not found (Debian's pulseaudio-utils)");
    const QString module = m_server.addOutput(QStringLiteral("radio"), QStringLiteral("Radio"));
    QVERIFY(!module.isEmpty());
    const QString path = write(QStringLiteral("j.wav"), announcementWav(4000));
    ScriptedRig rig;
    StationSettings settings;
    settings.rigctld = QString::fromStdString(rig.address());
    settings.keyingDelay = std::chrono::milliseconds(500);
    settings.audioOutput = QStringLiteral("Radio");
    LinkCreation created = createStationLink(
        settings, createSystemAudioPlayer(settings.audioOutput.toStdString()), nullptr);
    QVERIFY(created.link);
    std::vector<PlayOutcome> outcomes;
    created.link->setPlayOutcomeHandler([&](const PlayOutcome &o) { outcomes.push_back(o); });
    QVERIFY(created.link->PlayFile(path.toStdString(), true).ok());
    QVERIFY(rig.ptt());
    QTest::qWait(removeAfterMs);
    QVERIFY(rig.ptt());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_server.pactl({QStringLiteral("unload-module"), module}));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ptt(), 3000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(outcomes.size(), std::size_t(1));
    QCOMPARE(outcomes[0].started, started);
    const QString why = QString::fromStdString(outcomes[0].status.description);
    QVERIFY2(why.contains(started ? QStringLiteral("a saída de áudio sumiu")
                                  : QStringLiteral("nenhuma amostra chegou")),
             qPrintable(why));
    // Named and gone, the next send keys nothing.
    rig.clearCommands();
    QVERIFY(!created.link->PlayFile(path.toStdString(), true).ok());
    QVERIFY(rig.commands().empty());
}

// The sound server dies during a play and comes back: the play is cut and said so, nothing
// is keyed while it is away, the log says so once each way, and the next send plays whole.
void TestPulsePlayback::serverKilledAndBackLeavesNoDeadCarrier()
{
    const QString path = write(QStringLiteral("k.wav"), announcementWav(3000));
    const QString shorter = write(QStringLiteral("l.wav"), announcementWav(500));
    ScriptedRig rig;
    FakeLog log;
    StationSettings settings;
    settings.rigctld = QString::fromStdString(rig.address());
    LinkCreation created = createStationLink(settings, createSystemAudioPlayer(), &log);
    QVERIFY(created.link);
    std::vector<PlayOutcome> outcomes;
    created.link->setPlayOutcomeHandler([&](const PlayOutcome &o) { outcomes.push_back(o); });
    QVERIFY(created.link->PlayFile(path.toStdString(), true).ok());
    QTest::qWait(1000);
    m_server.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ptt(), 1000);
    QTRY_COMPARE(outcomes.size(), std::size_t(1));
    QVERIFY(outcomes[0].started);
    QVERIFY(!outcomes[0].status.ok());

    // Away: three sends, none keyed, each told why; the log says it once.
    rig.clearCommands();
    for (int i = 0; i < 3; ++i) {
        const LinkStatus refused = created.link->PlayFile(shorter.toStdString(), true);
        QCOMPARE(refused.code, stationerror::NoSoundServer);
        QTest::qWait(300);
    }
    QVERIFY(rig.commands().empty());
    QTRY_COMPARE(log.lines.size(), 1);
    QVERIFY2(log.lines[0].contains(QStringLiteral("servidor de som não responde")),
             qPrintable(log.lines[0]));

    QVERIFY(m_server.restart());
    QTRY_COMPARE_WITH_TIMEOUT(log.lines.size(), 2, 5000);
    QVERIFY2(log.lines[1].contains(QStringLiteral("voltou")), qPrintable(log.lines[1]));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(created.link->PlayFile(shorter.toStdString(), true).ok());
    QVERIFY(rig.ptt());
    QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), std::size_t(2), 5000);
    QVERIFY(outcomes[1].status.ok());
    QVERIFY(!rig.ptt());
    QVERIFY2(clock.elapsed() >= 500, qPrintable(QString::number(clock.elapsed())));
}

// An identification queued behind a message, on real sound: the squelch opens while the
// message plays; at its turn the identification is not played and the radio is unkeyed at
// the message's end. On a free channel it follows under the same carrier.
void TestPulsePlayback::queuedSendTakesItsTurnOnlyOnFreeChannel_data()
{
    QTest::addColumn<bool>("busy");
    QTest::newRow("squelch open at its turn") << true;
    QTest::newRow("channel free at its turn") << false;
}

void TestPulsePlayback::queuedSendTakesItsTurnOnlyOnFreeChannel()
{
    QFETCH(bool, busy);
    const QString message = write(QStringLiteral("m.wav"), announcementWav(1000));
    const QString identification = write(QStringLiteral("n.wav"), announcementWav(700));
    ScriptedRig rig;
    StationSettings settings;
    settings.rigctld = QString::fromStdString(rig.address());
    LinkCreation created = createStationLink(settings, createSystemAudioPlayer(), nullptr);
    QVERIFY(created.link);
    std::vector<PlayOutcome> outcomes;
    created.link->setPlayOutcomeHandler([&](const PlayOutcome &o) { outcomes.push_back(o); });
    QVERIFY(created.link->PlayFile(message.toStdString(), true).ok());
    QVERIFY(created.link->PlayFile(identification.toStdString(), true).ok());
    rig.scriptSquelch({busy ? "1" : "0"});
    QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), std::size_t(2), 8000);
    QVERIFY(outcomes[0].status.ok());
    QCOMPARE(outcomes[1].path, identification.toStdString());
    QCOMPARE(outcomes[1].status.ok(), !busy);
    QCOMPARE(outcomes[1].started, !busy);
    if (busy)
        QCOMPARE(outcomes[1].status.code, stationerror::ChannelBusy);
    QVERIFY(!rig.ptt());
    // Keyed once either way: the identification never keys again on its own.
    int rises = 0;
    for (const ScriptedRig::PttChange &change : rig.pttLog())
        rises += change.on ? 1 : 0;
    QCOMPARE(rises, 1);
}

ANUNCIEL_SKIPPABLE_TEST_MAIN(TestPulsePlayback)
#include "test_pulse_playback.moc"
