// Real playback through the sound stack, into a private PulseAudio server whose only
// output is a null sink: the end is reported once the file has played, not before, and a
// user-interface thread held for the transmit pause does not break the sound.

#include "app/MainWindow.h"
#include "app/SecondTimer.h"
#include "link/AudioPlayer.h"
#include "link/StationLink.h"
#include "support/FakePlatform.h"
#include "support/ScriptedRig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

using namespace anunciel;

namespace {

QByteArray wav(int channels, int rate, int bits, int milliseconds)
{
    const int align = channels * bits / 8;
    const int dataSize = rate * align * milliseconds / 1000;
    QByteArray fmt(16, '\0');
    qToLittleEndian<quint16>(1, fmt.data());
    qToLittleEndian<quint16>(quint16(channels), fmt.data() + 2);
    qToLittleEndian<quint32>(quint32(rate), fmt.data() + 4);
    qToLittleEndian<quint32>(quint32(rate * align), fmt.data() + 8);
    qToLittleEndian<quint16>(quint16(align), fmt.data() + 12);
    qToLittleEndian<quint16>(quint16(bits), fmt.data() + 14);
    QByteArray n(4, '\0');
    qToLittleEndian<quint32>(quint32(dataSize), n.data());
    QByteArray data(dataSize, bits == 8 ? char(0x80) : char(0));
    QByteArray out = "RIFF" + QByteArray(4, '\0') + "WAVEfmt " + QByteArray("\x10\0\0\0", 4) + fmt +
                     "data" + n + data;
    qToLittleEndian<quint32>(quint32(out.size() - 8), out.data() + 4);
    return out;
}

} // namespace

class TestPulsePlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void playsToTheEnd_data();
    void playsToTheEnd();
    void stoppedPlaybackReportsNoEnd();
    void replacedPlaybackReportsOnlyTheNewEnd();
    void rapidReplacementsEndOnce();
    void stationKeyedForTheWholeFile();
    void sendNowKeysRadioForTheWholeAnnouncement();

private:
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
    QProcess m_server;

public:
    bool m_skipped = false;
};

void TestPulsePlayback::initTestCase()
{
    const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (pulseaudio.isEmpty()) {
        m_skipped = true;
        QSKIP("pulseaudio not found: install Debian's pulseaudio to test real playback into "
              "a null sink");
    }
    QVERIFY(m_dir.isValid());
    const QString socket = m_dir.filePath(QStringLiteral("pulse.sock"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    m_server.setProcessEnvironment(env);
    m_server.setProgram(pulseaudio);
    m_server.setArguments({QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                           QStringLiteral("--exit-idle-time=-1"),
                           QStringLiteral("--disable-shm=yes"), QStringLiteral("--log-level=0"),
                           QStringLiteral("--load=module-null-sink"),
                           QStringLiteral("--load=module-native-protocol-unix "
                                          "auth-anonymous=1 socket=") +
                               socket});
    // Its output must not hold the test's open after a crash, and it must not outlive it.
    m_server.setStandardOutputFile(QProcess::nullDevice());
    m_server.setStandardErrorFile(QProcess::nullDevice());
    m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_server.start();
    QVERIFY2(m_server.waitForStarted(5000), "pulseaudio did not start");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);
    // Before anything of the sound stack is touched in this process.
    qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
}

void TestPulsePlayback::cleanupTestCase()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(3000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }
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
    const QString path = write(QStringLiteral("a.wav"), wav(channels, rate, bits, ms));
    QVERIFY(!path.isEmpty());

    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    std::vector<PlaybackEnd> ends;
    player->setEndHandler([&ends](PlaybackEnd end) { ends.push_back(end); });
    QElapsedTimer clock;
    clock.start();
    const AudioPlayer::Start start = player->play(path.toStdString());
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
    const QString path = write(QStringLiteral("b.wav"), wav(1, 8000, 8, 500));
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    QVERIFY(player->play(path.toStdString()).status.ok());
    QTest::qWait(100);
    player->stop();
    QTest::qWait(1500);
    QCOMPARE(ends, 0);
}

void TestPulsePlayback::replacedPlaybackReportsOnlyTheNewEnd()
{
    const QString longer = write(QStringLiteral("c.wav"), wav(1, 8000, 8, 5000));
    const QString shorter = write(QStringLiteral("d.wav"), wav(1, 8000, 8, 300));
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    QVERIFY(player->play(longer.toStdString()).status.ok());
    QTest::qWait(50);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(player->play(shorter.toStdString()).status.ok());
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
    const QString path = write(QStringLiteral("f.wav"), wav(1, 8000, 8, 200));
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    for (int i = 0; i < 30; ++i) {
        QVERIFY(player->play(path.toStdString()).status.ok());
        QTest::qWait(i % 3 == 0 ? 0 : 15);
    }
    QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 200 + StationLink::kPlaybackMargin.count());
    QTest::qWait(300);
    QCOMPARE(ends, 1);
}

void TestPulsePlayback::stationKeyedForTheWholeFile()
{
    // A VOX station: no rigctld, so keying is what the link wants.
    const QString path = write(QStringLiteral("e.wav"), wav(1, 8000, 8, 2000));
    LinkCreation created = createStationLink(QString(), createSystemAudioPlayer());
    QVERIFY(created.link);
    auto &link = static_cast<StationLink &>(*created.link);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link.SetTransmit(true).ok());
    QVERIFY(link.PlayFile(path.toStdString(), true).ok());
    QThread::msleep(1000);
    QVERIFY(link.SetTransmit(false).ok());
    QVERIFY(link.wantsKeyed());
    QTRY_VERIFY_WITH_TIMEOUT(!link.wantsKeyed(), 5000);
    QVERIFY2(clock.elapsed() >= 2000, qPrintable(QString::number(clock.elapsed())));
}

// The whole program's send, on a real sound output: the sequence unkeys after its one
// second, but the radio stays keyed until the three-second announcement has played.
void TestPulsePlayback::sendNowKeysRadioForTheWholeAnnouncement()
{
    const QString path = write(QStringLiteral("aviso.wav"), wav(1, 8000, 8, 3000));
    QVERIFY(QDir::setCurrent(m_dir.path()));
    test::ScriptedRig rig;
    test::FakePlatform fake;
    fake.desktop.folder = QDir::toNativeSeparators(m_dir.path());
    MainWindow window(fake.platform(), [&rig] {
        return createStationLink(QString::fromStdString(rig.address()), createSystemAudioPlayer());
    });
    QVERIFY(window.Form_Load());
    window.timer1()->setEnabled(false); // only the send is under test here
    window.timer2()->stop();
    window.ui().msg[0]->setText(QStringLiteral("aviso.wav"));

    QElapsedTimer clock;
    clock.start();
    window.envia_Click(1);
    QCOMPARE(fake.pause.pauses, std::vector<int>{1000});
    QVERIFY(rig.ptt()); // the sequence has unkeyed; the announcement holds the key
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ptt(), 3000 + StationLink::kPlaybackMargin.count() + 1000);
    const qint64 keyed = clock.elapsed();
    QVERIFY2(keyed >= 3000, qPrintable(QString::number(keyed)));
    QVERIFY(fake.boxes.shown.empty());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestPulsePlayback test;
    const int failures = QTest::qExec(&test, argc, argv);
    return failures == 0 && test.m_skipped ? 77 : failures;
}
#include "test_pulse_playback.moc"
