// The station link on the air, measured: real playback into a private PulseAudio server
// whose output is a null sink, that sink's monitor recorded (parec) with the steady clock's
// time of every block, and PTT carried out by a scripted rigctld that notes when it confirmed
// each change. For each keying delay, over several sends made as the window makes them (key,
// play, a blocking one-second pause, unkey):
//   lead    from PTT confirmed to the first recorded sample;
//   played  the length of sound recorded, against the file's own;
//   tail    from the last recorded sample to PTT off.
// The baseline is the sound chain alone: a VOX station (no PTT to wait for), from the return
// of PlayFile to the first recorded sample.
//
// Needs Debian's pulseaudio and pulseaudio-utils (parec). About a minute.

#include "MonitorRecorder.h"
#include "ScriptedRig.h"
#include "Wav.h"
#include "link/audio/AudioPlayer.h"
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace anunciel;
using namespace anunciel::bench;

namespace {

constexpr int kRate = kMonitorRate;
constexpr int kFileMs = 1500;
constexpr int kSends = 6;
constexpr int kThreshold = 8000; // of 32767; the tone is at about 25000
// Silence between sends, and how far before PTT on (and after PTT off) sound is looked for:
// any sound there is this send's, outside PTT.
constexpr int kGapMs = 1500;
constexpr std::chrono::milliseconds kLookBefore{1000};

// An announcement as the operator records it (8 bits, mono, 8000 Hz): a square wave, so
// that its very first sample is already loud.
QByteArray toneWav(int milliseconds)
{
    const int frames = 8000 * milliseconds / 1000;
    QByteArray samples(frames, '\0');
    for (int i = 0; i < frames; ++i)
        samples[i] = char((i / 8) % 2 ? 128 + 100 : 128 - 100); // 500 Hz
    using namespace anunciel::test;
    return riff(chunk("fmt ", fmtBody(1, 1, 8000, 8)) + chunk("data", samples));
}

struct Figures
{
    std::vector<double> lead, played, tail;
};

} // namespace

int main(int argc, char *argv[])
{
    const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    const QString parec = QStandardPaths::findExecutable(QStringLiteral("parec"));
    if (pulseaudio.isEmpty() || parec.isEmpty()) {
        std::puts("SKIP: pulseaudio or parec not found (Debian packages pulseaudio, "
                  "pulseaudio-utils)");
        return 0;
    }
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("pulse.sock"));
    qputenv("HOME", dir.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    server.start(pulseaudio,
                 {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                  "--load=module-null-sink sink_name=null rate=44100 channels=1",
                  "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
    for (int i = 0; i < 200 && !QFile::exists(socket); ++i)
        QThread::msleep(25);
    if (!QFile::exists(socket)) {
        std::puts("pulseaudio did not start");
        return 1;
    }
    qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
    QCoreApplication app(argc, argv);

    MonitorRecorder recorder;
    if (!recorder.start(parec)) {
        std::puts("parec did not start");
        return 1;
    }
    waitFor([&] { return recorder.started(); }, 5000);
    QThread::msleep(500); // let the recording settle

    const QString path = dir.filePath(QStringLiteral("aviso.wav"));
    {
        QFile file(path);
        const QByteArray wav = toneWav(kFileMs);
        if (!file.open(QIODevice::WriteOnly) || file.write(wav) != wav.size())
            return 1;
    }

    // Baseline: the sound chain alone, no PTT to wait for.
    std::vector<double> chain;
    {
        LinkCreation created =
            createStationLink(StationSettings(), createSystemAudioPlayer(), nullptr);
        auto &link = static_cast<StationLink &>(*created.link);
        for (int i = 0; i < kSends; ++i) {
            link.PlayFile(path.toStdString(), true);
            const Clock::time_point returned = Clock::now();
            waitFor([&] { return !link.isOnAir(); }, 10000);
            QThread::msleep(kGapMs);
            if (const auto sound =
                    soundAfter(recorder, returned - kLookBefore, Clock::now(), kThreshold))
                chain.push_back(ms(sound->first - returned));
        }
    }

    std::printf("Station link on the air: %d sends per row, %d ms file (8 bits, mono, 8000 Hz),\n"
                "null sink monitor recorded at %d Hz; milliseconds, median / max "
                "(min for played and tail).\n"
                "A sample's time is bounded from its block's arrival, so it reads late by at "
                "most parec's\nsmallest delivery delay (a few ms).\n\n",
                kSends, kFileMs, kRate);
    std::printf("  baseline, sound chain alone (VOX): PlayFile return -> first sample "
                "%6.1f / %6.1f\n\n",
                median(chain), chain.empty() ? 0 : *std::max_element(chain.begin(), chain.end()));
    std::printf("  %-9s %-26s %-26s %-26s\n", "delay", "lead (PTT on -> sound)",
                "played (file 1500)", "tail (sound end -> PTT off)");

    int failures = 0;
    for (const int delayMs : {0, 300}) {
        test::ScriptedRig rig;
        StationSettings settings;
        settings.rigctld = QString::fromStdString(rig.address());
        settings.keyingDelay = std::chrono::milliseconds(delayMs);
        LinkCreation created = createStationLink(settings, createSystemAudioPlayer(), nullptr);
        auto &link = static_cast<StationLink &>(*created.link);
        Figures f;
        for (int i = 0; i < kSends; ++i) {
            const size_t before = rig.pttLog().size();
            // The send as the window makes it: the pause holds this thread.
            link.SetTransmit(true);
            link.PlayFile(path.toStdString(), true);
            QThread::msleep(1000);
            link.SetTransmit(false);
            waitFor([&] { return !link.isOnAir() && !rig.ptt(); }, 10000);
            QThread::msleep(kGapMs);
            const std::vector<test::ScriptedRig::PttChange> log = rig.pttLog();
            if (log.size() != before + 2 || !log[before].on || log[before + 1].on) {
                std::printf("  send %d: PTT not on then off\n", i);
                ++failures;
                continue;
            }
            const Clock::time_point on = log[before].at, off = log[before + 1].at;
            const auto sound =
                soundAfter(recorder, on - kLookBefore, off + kLookBefore, kThreshold);
            if (!sound) {
                std::printf("  send %d: no sound recorded\n", i);
                ++failures;
                continue;
            }
            f.lead.push_back(ms(sound->first - on));
            f.played.push_back(ms(sound->second - sound->first));
            f.tail.push_back(ms(off - sound->second));
        }
        const auto maxOf = [](const std::vector<double> &v) {
            return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
        };
        const auto minOf = [](const std::vector<double> &v) {
            return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
        };
        std::printf("  %4d ms   %7.1f / %7.1f          %7.1f / %7.1f          %7.1f / %7.1f\n",
                    delayMs, median(f.lead), maxOf(f.lead), median(f.played), minOf(f.played),
                    median(f.tail), minOf(f.tail));
        std::printf(
            "            (min %.1f)                 (max %.1f)                 (max %.1f)\n",
            minOf(f.lead), maxOf(f.played), maxOf(f.tail));
        // Sound before PTT, or after it, is what this program must never do.
        if (minOf(f.lead) < 0 || minOf(f.tail) < 0) {
            std::puts("  SOUND OUTSIDE PTT");
            ++failures;
        }
    }
    if (qEnvironmentVariableIsSet("BENCH_DUMP")) {
        Clock::time_point zero;
        const std::vector<qint16> all = recorder.samples(zero);
        QFile dump(qEnvironmentVariable("BENCH_DUMP"));
        if (dump.open(QIODevice::WriteOnly))
            dump.write(reinterpret_cast<const char *>(all.data()), qint64(all.size() * 2));
        std::printf("dumped %zu frames\n", all.size());
    }
    server.terminate();
    server.waitForFinished(3000);
    return failures ? 1 : 0;
}
