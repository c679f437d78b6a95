// A machine with no audio output (no sound server): playing fails as a call, quietly, and
// a send goes on through its pause and unkey.

#include "link/AudioPlayer.h"
#include "link/StationErrors.h"
#include "link/StationLink.h"
#include "support/Harness.h"
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
    void sendGoesOnThroughPauseAndUnkey();

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
    QTest::newRow("good announcement") << "aviso.wav" << int(stationerror::NoAudioOutput);
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
    const AudioPlayer::Start start = player->play(m_dir.filePath(file).toStdString());
    QVERIFY(!start.status.ok());
    QCOMPARE(int(start.status.code), code);
    QVERIFY(!start.status.description.empty());
    QTest::qWait(100);
    QCOMPARE(ends, 0); // nothing started, so nothing ends
}

void TestNoAudioDevice::sendGoesOnThroughPauseAndUnkey()
{
    ScriptedRig rig;
    RecordingLink *recorder = nullptr;
    Harness h([&] {
        LinkCreation created =
            createStationLink(QString::fromStdString(rig.address()), createSystemAudioPlayer());
        if (created.link) {
            auto wrapped = std::make_unique<RecordingLink>(std::move(created.link));
            recorder = wrapped.get();
            created.link = std::move(wrapped);
        }
        return created;
    });
    FakePlatform &fake = h.fake;
    fake.desktop.folder = m_dir.nativePath();
    QVERIFY(h.w().start());
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
    QCOMPARE(played.code, stationerror::NoAudioOutput);
    QVERIFY(recorder->calls[2].second.ok());
    QVERIFY(recorder->calls[4].second.ok());
    QCOMPARE(fake.pause.pauses, std::vector<int>{1000});
    QCOMPARE(rig.commands(), (std::vector<std::string>{"\\get_dcd", "T 1", "T 0"}));
    QVERIFY(!rig.ptt());
    QVERIFY(fake.boxes.shown.empty()); // quietly
}

QTEST_MAIN(TestNoAudioDevice)
#include "test_no_audio_device.moc"
