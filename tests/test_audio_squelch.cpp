// The radio side heard on the receiver's audio, through a private PulseAudio server: another
// station's voice played into a null sink whose monitor, remapped into an input, stands for
// the receiver. The indicator and the schedule follow the channel, the program's own sound
// is no other station, an input lost and back is told once each way, and the input is named
// at start and listed without a display.

#include "link/StationErrors.h"
#include "link/audio/AudioOutputs.h"
#include "link/audio/AudioPlayer.h"
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"
#include "support/Harness.h"
#include "support/PulseServer.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"
#include "support/Wav.h"
#include "support/WorkingFolder.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace anunciel;
using namespace anunciel::test;
using namespace std::chrono_literals;

namespace {

const QString kReceiver = QStringLiteral("receptor");
const QString kRemap =
    QStringLiteral("module-remap-source master=null.monitor source_name=") + kReceiver;

StationSettings listening(const QString &input)
{
    StationSettings settings;
    settings.rf.detection = RfDetection::Audio;
    settings.rf.audioInput = input;
    return settings;
}

} // namespace

class TestAudioSquelch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void indicatorAndScheduleFollowTheChannel();
    void lostInputToldOnceEachWay();
    void inputCheckedAtStart_data();
    void inputCheckedAtStart();
    void inputListWithoutDisplay();
    void serverLostAndBackInputReturns();

private:
    bool pactl(const QStringList &arguments);

    PulseServer m_server;
    QTemporaryDir m_dir;
    QString m_pactl;
};

void TestAudioSquelch::initTestCase()
{
    m_pactl = QStandardPaths::findExecutable(QStringLiteral("pactl"));
    if (!PulseServer::isInstalled() || m_pactl.isEmpty()) {
        skipAll();
        QSKIP("pulseaudio or pactl not found: install Debian's pulseaudio and pulseaudio-utils "
              "to test the squelch read from the audio");
    }
    QVERIFY(m_dir.isValid());
    // Qt lists no monitor as an input: the remapped source is one it lists.
    QVERIFY2(m_server.start({kRemap}), "pulseaudio did not start");
    QTRY_VERIFY_WITH_TIMEOUT(!findAudioInput(kReceiver).isNull(), 5000);
}

bool TestAudioSquelch::pactl(const QStringList &arguments)
{
    QProcess run;
    run.start(m_pactl, arguments);
    return run.waitForFinished(5000) && run.exitStatus() == QProcess::NormalExit &&
           run.exitCode() == 0;
}

// Another station talks for five seconds: the indicator shows it, a slot due meanwhile is
// not sent; once the voice and its hang are over, the indicator shows free again, a slot due
// then is sent, and its own sound on the input does not make the channel busy.
void TestAudioSquelch::indicatorAndScheduleFollowTheChannel()
{
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(QStringLiteral("aviso.wav")),
                       mono16Wav(speechSamples(1000, -20))));
    const QString voice = m_dir.filePath(QStringLiteral("outra-estacao.wav"));
    QVERIFY(writeBytes(voice, mono16Wav(speechSamples(5000, -20))));

    StationLink *link = nullptr;
    Harness h([&link] {
        LinkCreation created =
            createStationLink(listening(kReceiver), createSystemAudioPlayer(), nullptr);
        link = static_cast<StationLink *>(created.link.get());
        return created;
    });
    h.fake.desktop.folder = folder.nativePath();
    QVERIFY(h.start());
    h.secondTimer()->stop(); // the schedule is ticked by hand; the indicator runs on its own
    QLabel *rf = h.label(QStringLiteral("Label5"));
    QTRY_COMPARE_WITH_TIMEOUT(rf->text(), QStringLiteral("RF livre"), 3000);

    const std::unique_ptr<AudioPlayer> otherStation = createSystemAudioPlayer();
    bool voiceEnded = false;
    otherStation->setEndHandler([&voiceEnded](PlaybackEnd) { voiceEnded = true; });
    QVERIFY(otherStation->play(voice.toStdString(), std::chrono::steady_clock::now()).status.ok());
    // The other station's first sound may take a second to start, the indicator another.
    QTRY_COMPARE_WITH_TIMEOUT(rf->text(), QStringLiteral("RF ocupado "), 5000);

    h.setSlot(0, QStringLiteral("15:00"), QStringLiteral("aviso.wav"));
    h.tickAt(15, 0, 0);
    QVERIFY(!voiceEnded);
    QVERIFY(!link->isOnAir());
    QVERIFY2(!h.fake.log.lines.isEmpty() && h.fake.log.lines.last().endsWith(
                                                QStringLiteral("não enviada: rádio (RF) ocupado")),
             qPrintable(h.fake.log.lines.join(u'\n')));

    QTRY_VERIFY_WITH_TIMEOUT(voiceEnded, 5000 + StationLink::kPlaybackMargin.count());
    QTRY_COMPARE_WITH_TIMEOUT(rf->text(), QStringLiteral("RF livre"), 3000);
    h.setSlot(1, QStringLiteral("15:01"), QStringLiteral("aviso.wav"));
    h.tickAt(15, 1, 0);
    QVERIFY(link->isOnAir());

    // The announcement on the input, and the moments after it, read free.
    std::int16_t value = 0;
    while (link->isOnAir()) {
        QVERIFY(link->RfBusy(value).ok());
        QCOMPARE(value, std::int16_t(0));
        QTest::qWait(20);
    }
    QTest::qWait(300);
    QVERIFY(link->RfBusy(value).ok());
    QCOMPARE(value, std::int16_t(0));
    // Told sent once it has played out whole.
    QVERIFY2(!h.fake.log.lines.isEmpty() &&
                 h.fake.log.lines.last().endsWith(QStringLiteral(": enviada")),
             qPrintable(h.fake.log.lines.join(u'\n')));
}

void TestAudioSquelch::lostInputToldOnceEachWay()
{
    FakeLog log;
    LinkCreation created = createStationLink(listening(kReceiver), createSystemAudioPlayer(), &log);
    QVERIFY(created.link);
    std::int16_t value = 0;
    QTRY_VERIFY_WITH_TIMEOUT(created.link->RfBusy(value).ok(), 3000);

    QVERIFY(pactl({QStringLiteral("unload-module"), QStringLiteral("module-remap-source")}));
    LinkStatus read;
    QTRY_VERIFY_WITH_TIMEOUT(
        (read = created.link->RfBusy(value)).code == stationerror::NoAudioInput, 4000);
    QCOMPARE(value, std::int16_t(0));
    QVERIFY2(QString::fromStdString(read.description).contains(u'"' + kReceiver + u'"'),
             read.description.c_str());
    for (int i = 0; i < 3; ++i)
        created.link->RfBusy(value);
    QCOMPARE(log.lines.size(), 1);
    QVERIFY2(log.lines[0].contains(QStringLiteral("desconhecido")), qPrintable(log.lines[0]));

    QVERIFY(pactl(QStringLiteral("load-module ").append(kRemap).split(u' ')));
    QTRY_VERIFY_WITH_TIMEOUT(created.link->RfBusy(value).ok(), 5000);
    created.link->RfBusy(value);
    QCOMPARE(log.lines.size(), 2);
    QVERIFY2(log.lines[1].contains(QStringLiteral("voltou")), qPrintable(log.lines[1]));
}

void TestAudioSquelch::inputCheckedAtStart_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("told"); // empty: the program starts
    QTest::newRow("input by its id")
        << QByteArray("deteccao_rf=audio\nentrada_audio=receptor\n") << "";
    QTest::newRow("system default input") << QByteArray("deteccao_rf=audio\n") << "";
    QTest::newRow("input that does not exist")
        << QByteArray("deteccao_rf=audio\nentrada_audio=USB Audio Device\n")
        << "O valor de entrada_audio em estacao.ini é \"USB Audio Device\", mas não há entrada "
           "de áudio com esse nome ou id; as entradas são listadas por anunciel "
           "--listar-entradas.";
    QTest::newRow("input named but not listened to")
        << QByteArray("deteccao_rf=nenhuma\nentrada_audio=USB Audio Device\n") << "";
}

// Start-up as the program makes it.
void TestAudioSquelch::inputCheckedAtStart()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, told);
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(kStationSettingsFile), file));
    Harness h([] { return createLink(readStationSettings().settings, nullptr); });
    QCOMPARE(h.start(), told.isEmpty());
    if (!told.isEmpty()) {
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        QVERIFY2(h.fake.boxes.shown[0].text.contains(told), qPrintable(h.fake.boxes.shown[0].text));
    }
}

// The operator's list of inputs, from a terminal without a display.
void TestAudioSquelch::inputListWithoutDisplay()
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ANUNCIEL_EXECUTABLE), {QStringLiteral("--listar-entradas")});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(program.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].contains(QStringLiteral("entrada_audio")), qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("* Remapped Monitor of Null Output   (id: receptor)"));
}

// The sound server dies and comes back: the radio side is unknown meanwhile, and read again
// once it is back, without a restart. Last: Qt's own sound backend, which the start-up checks
// use, may not come back.
void TestAudioSquelch::serverLostAndBackInputReturns()
{
    FakeLog log;
    LinkCreation created = createStationLink(listening(kReceiver), createSystemAudioPlayer(), &log);
    QVERIFY(created.link);
    std::int16_t value = 0;
    QTRY_VERIFY_WITH_TIMEOUT(created.link->RfBusy(value).ok(), 3000);
    m_server.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!created.link->RfBusy(value).ok(), 4000);
    QTest::qWait(1500); // looked for again while it is away
    QVERIFY(!created.link->RfBusy(value).ok());
    QVERIFY(m_server.restart());
    QTRY_VERIFY_WITH_TIMEOUT(created.link->RfBusy(value).ok(), 5000);
    QCOMPARE(log.lines.size(), 2);
    // Which of its parts was found gone first depends on the moment it was looked at.
    QVERIFY2(log.lines[0].startsWith(QStringLiteral("Sem áudio do receptor")),
             qPrintable(log.lines[0]));
    QVERIFY2(log.lines[1].contains(QStringLiteral("voltou")), qPrintable(log.lines[1]));
}

ANUNCIEL_SKIPPABLE_TEST_MAIN(TestAudioSquelch)
#include "test_audio_squelch.moc"
