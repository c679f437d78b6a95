// A machine with no audio output (no sound server): playing fails as a call, the radio is
// never keyed for it, the window shows nothing and the send goes on through its pause and
// unkey; the log says why, and that the sound server does not answer, once.

#include "link/StationErrors.h"
#include "link/audio/AudioPlayer.h"
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"
#include "support/Harness.h"
#include "support/OutputList.h"
#include "support/ScriptedRig.h"
#include "support/TestFiles.h"
#include "support/Wav.h"
#include "support/WorkingFolder.h"

#include <QtTest>

using namespace anunciel;
using namespace anunciel::test;

namespace {

// Passes every call on to the station link and remembers what each answered.
class RecordingLink final : public LinkObject
{
public:
    explicit RecordingLink(std::unique_ptr<LinkObject> inner) : m_inner(std::move(inner)) {}
    std::vector<std::pair<std::string, LinkStatus>> calls;

    LinkStatus RfBusy(std::int16_t &v) override { return note("RfBusy", m_inner->RfBusy(v)); }
    LinkStatus IpBusy(std::int16_t &v) override { return note("IpBusy", m_inner->IpBusy(v)); }
    LinkStatus SetTransmit(bool on) override
    {
        return note(on ? "SetTransmit 1" : "SetTransmit 0", m_inner->SetTransmit(on));
    }
    LinkStatus PlayFile(const std::string &path, bool flag) override
    {
        return note("PlayFile", m_inner->PlayFile(path, flag));
    }

private:
    LinkStatus note(const char *op, LinkStatus status)
    {
        calls.emplace_back(op, status);
        return status;
    }
    std::unique_ptr<LinkObject> m_inner;
};

} // namespace

class TestNoAudioDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playFails_data();
    void playFails();
    void sendKeysNothingAndGoesOn();
    void outputListSaysThereIsNone();

private:
    WorkingFolder m_dir;
};

void TestNoAudioDevice::initTestCase()
{
    // Whatever this machine has, the audio output is looked for where there is none.
    qputenv("PULSE_SERVER", "unix:/nonexistent/anunciel-no-sound-server");
    QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("aviso.wav")), announcementWav(500)));
    QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("texto.wav")), "not a sound"));
}

void TestNoAudioDevice::playFails_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("code");
    QTest::newRow("good announcement") << "aviso.wav" << int(stationerror::NoSoundServer);
    QTest::newRow("not a WAV file") << "texto.wav" << int(stationerror::BadAudioFile);
    QTest::newRow("no such file") << "nada.wav" << int(stationerror::BadAudioFile);
    QTest::newRow("a folder") << "" << int(stationerror::BadAudioFile);
}

void TestNoAudioDevice::playFails()
{
    QFETCH(QString, file);
    QFETCH(int, code);
    const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
    int ends = 0;
    player->setEndHandler([&ends](PlaybackEnd) { ++ends; });
    const std::string path = m_dir.filePath(file).toStdString();
    // The check says beforehand what playing then finds.
    const AudioPlayer::Start checked = player->check(path);
    QCOMPARE(int(checked.status.code), code);
    const AudioPlayer::Start start = player->play(path, std::chrono::steady_clock::now());
    QVERIFY(!start.status.ok());
    QCOMPARE(int(start.status.code), code);
    QVERIFY(!start.status.description.empty());
    QTest::qWait(100);
    QCOMPARE(ends, 0); // nothing started, so nothing ends
}

void TestNoAudioDevice::sendKeysNothingAndGoesOn()
{
    ScriptedRig rig;
    RecordingLink *recorder = nullptr;
    FakeLog log;
    Harness h([&] {
        StationSettings settings;
        settings.rigctld = QString::fromStdString(rig.address());
        LinkCreation created = createStationLink(settings, createSystemAudioPlayer(), &log);
        if (created.link) {
            auto wrapped = std::make_unique<RecordingLink>(std::move(created.link));
            recorder = wrapped.get();
            created.link = std::move(wrapped);
        }
        return created;
    });
    FakePlatform &fake = h.fake;
    fake.desktop.folder = m_dir.nativePath();
    QVERIFY(h.start());
    QVERIFY(recorder);
    h.fileName(0)->setText(QStringLiteral("aviso.wav"));
    rig.clearCommands();

    h.sendNow(0);

    std::vector<std::string> ops;
    for (const auto &[op, status] : recorder->calls)
        ops.push_back(op);
    QCOMPARE(ops, (std::vector<std::string>{"RfBusy", "IpBusy", "SetTransmit 1", "PlayFile",
                                            "SetTransmit 0"}));
    const LinkStatus played = recorder->calls[3].second;
    QCOMPARE(played.code, stationerror::NoSoundServer);
    QVERIFY(recorder->calls[2].second.ok());
    QVERIFY(recorder->calls[4].second.ok());
    QCOMPARE(fake.pause.pauses, std::vector<int>{1000});
    // Not keyed for a moment: no dead carrier.
    QCOMPARE(rig.commands(), std::vector<std::string>{"\\get_dcd"});
    QVERIFY(!rig.ptt());
    QVERIFY(fake.boxes.shown.empty()); // the window stays quiet; its log says why, once
    QCOMPARE(fake.log.lines.size(), 1);
    QVERIFY2(fake.log.lines.front().contains(QStringLiteral("aviso.wav\": não enviada")) &&
                 fake.log.lines.front().contains(QStringLiteral("servidor de som não responde")),
             qPrintable(fake.log.lines.front()));
    // The link's own line: the server is away, and nothing goes on the air until it is back.
    QTRY_COMPARE(log.lines.size(), 1);
    QVERIFY2(log.lines.front().contains(QStringLiteral("Nada será transmitido")),
             qPrintable(log.lines.front()));
    h.sendNow(0);
    QTest::qWait(200);
    QCOMPARE(log.lines.size(), 1);
}

// The option works where there is no display, and says when there is nothing to list.
void TestNoAudioDevice::outputListSaysThereIsNone()
{
    const ProgramAnswer answer = listOutputsWithoutDisplay();
    QVERIFY(answer.ended);
    QCOMPARE(answer.exitCode, 1);
    QCOMPARE(answer.output, QStringLiteral("Nenhuma saída de áudio encontrada.\n"));
}

QTEST_MAIN(TestNoAudioDevice)
#include "test_no_audio_device.moc"
