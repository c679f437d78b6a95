// The station link on the air, measured: real playback into a private PulseAudio server
// whose output is a null sink, that sink's monitor recorded (parec) with the steady clock's
// time of every block, and PTT carried out by a scripted rigctld that notes when it confirmed
// each change. For each keying delay, over several sends made as the window makes them (key,
// play, a blocking one-second pause, unkey):
//   lead    from PTT confirmed to the first recorded sample;
//   played  the length of sound recorded, against the file's own;
//   tail    from the last recorded sample to PTT off.
//   pitch   the recorded tone's frequency (1000 Hz in the file);
//   gaps    the longest stretch of silence inside the sound (a dropout).
// Each file format the operator may record is sent: 8000 Hz 8-bit (as asked), 22050 and 44100
// Hz 16-bit, all mono, two seconds. The baseline is the sound chain alone: a VOX station (no
// PTT to wait for), from the return of PlayFile to the first recorded sample.
//
// Needs Debian's pulseaudio and pulseaudio-utils (parec); with ANUNCIEL_TEST_SOUND_SERVER=pipewire
// it runs on a private PipeWire instead (pipewire, wireplumber, pipewire-pulse). About a minute.

#include "MonitorRecorder.h"
#include "PulseServer.h"
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
constexpr int kFileMs = 2000;
constexpr double kToneHz = 1000;
constexpr int kSends = 4;
constexpr int kThreshold = 8000; // of 32767; the tone peaks at about 26000
// Silence between sends, and how far before PTT on (and after PTT off) sound is looked for:
// any sound there is this send's, outside PTT.
constexpr int kGapMs = 1500;
constexpr std::chrono::milliseconds kLookBefore{1000};
// Below the threshold for longer than this inside the sound is a dropout (the tone itself
// dips below it for about 0.1 ms at each zero crossing).
constexpr double kDropoutMs = 1.0;

QByteArray toneWav(int rate, int bits)
{
    return test::toneWav(1, rate, bits, kFileMs, kToneHz); // half of full scale
}

struct Recorded
{
    double hz = 0;
    double longestGapMs = 0;
};

// The tone's frequency and its longest dropout between the first and last loud samples.
Recorded analyse(const MonitorRecorder &recorder, Clock::time_point from, Clock::time_point to)
{
    Clock::time_point zero;
    const std::vector<qint16> samples = recorder.samples(zero);
    const auto indexOf = [&](Clock::time_point t) {
        return size_t(std::max<qint64>(
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(t - zero).count() * kRate /
                   1000000000LL));
    };
    const size_t begin = std::min(indexOf(from), samples.size());
    const size_t end = std::min(indexOf(to), samples.size());
    Recorded r;
    double first = -1, last = -1;
    int crossings = 0;
    size_t quiet = 0;
    for (size_t i = begin; i + 1 < end; ++i) {
        if (samples[i] < 0 && samples[i + 1] >= 0) {
            const double at = double(i) + double(samples[i]) / double(samples[i] - samples[i + 1]);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
        quiet = std::abs(int(samples[i])) < kThreshold ? quiet + 1 : 0;
        r.longestGapMs = std::max(r.longestGapMs, quiet * 1000.0 / kRate);
    }
    if (crossings > 1)
        r.hz = (crossings - 1) * double(kRate) / (last - first);
    return r;
}

struct Figures
{
    std::vector<double> lead, played, tail, hz, gaps;
};

double maxOf(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}
double minOf(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char *argv[])
{
    const QString parec = QStandardPaths::findExecutable(QStringLiteral("parec"));
    if (!test::PulseServer::isInstalled() || parec.isEmpty()) {
        std::puts("SKIP: the sound server or parec not found (Debian packages pulseaudio, "
                  "pulseaudio-utils; for PipeWire also pipewire, wireplumber, pipewire-pulse)");
        return 0;
    }
    QTemporaryDir dir;
    QCoreApplication app(argc, argv);
    test::PulseServer server;
    if (!server.start()) {
        std::puts("the sound server did not start");
        return 1;
    }
    const bool pipeWire = test::PulseServer::pipeWire();

    MonitorRecorder recorder;
    if (!recorder.start(parec)) {
        std::puts("parec did not start");
        return 1;
    }
    waitFor([&] { return recorder.started(); }, 5000);
    QThread::msleep(500); // let the recording settle

    const auto writeFile = [&dir](int rate, int bits) {
        const QString path = dir.filePath(QStringLiteral("aviso-%1-%2.wav").arg(rate).arg(bits));
        QFile file(path);
        const QByteArray wav = toneWav(rate, bits);
        return file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size() ? path : QString();
    };
    const QString baselineFile = writeFile(8000, 8);

    // Baseline: the sound chain alone, no PTT to wait for.
    std::vector<double> chain;
    {
        LinkCreation created =
            createStationLink(StationSettings(), createSystemAudioPlayer(), nullptr);
        auto &link = static_cast<StationLink &>(*created.link);
        for (int i = 0; i < kSends; ++i) {
            link.PlayFile(baselineFile.toStdString(), true);
            const Clock::time_point returned = Clock::now();
            waitFor([&] { return !link.isOnAir(); }, 10000);
            QThread::msleep(kGapMs);
            if (const auto sound =
                    soundAfter(recorder, returned - kLookBefore, Clock::now(), kThreshold))
                chain.push_back(ms(sound->first - returned));
        }
    }

    std::printf("Station link on the air, %s: %d sends per row, %d ms files of a %.0f Hz tone "
                "(mono),\nkeying delay 300 ms, null sink monitor recorded at %d Hz; "
                "milliseconds, median / max (min / max for played and pitch).\n"
                "A sample's time is bounded from its block's arrival, so it reads late by at "
                "most parec's\nsmallest delivery delay (a few ms).\n\n",
                pipeWire ? "PipeWire (pipewire-pulse)" : "PulseAudio", kSends, kFileMs, kToneHz,
                kRate);
    std::printf("  baseline, sound chain alone (VOX): PlayFile return -> first sample "
                "%6.1f / %6.1f\n\n",
                median(chain), maxOf(chain));
    std::printf("  %-18s %-16s %-17s %-19s %-10s %-16s\n", "file", "PTT on -> sound",
                "played (2000)", "pitch (1000 Hz)", "gaps", "sound end -> off");

    int failures = 0;
    const std::pair<int, int> formats[] = {{8000, 8}, {22050, 16}, {44100, 16}};
    for (const auto &[rate, bits] : formats) {
        const QString path = writeFile(rate, bits);
        test::ScriptedRig rig;
        StationSettings settings;
        settings.rigctld = QString::fromStdString(rig.address());
        settings.keyingDelay = std::chrono::milliseconds(300);
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
            const Recorded tone = analyse(recorder, sound->first, sound->second);
            f.lead.push_back(ms(sound->first - on));
            f.played.push_back(ms(sound->second - sound->first));
            f.tail.push_back(ms(off - sound->second));
            f.hz.push_back(tone.hz);
            f.gaps.push_back(tone.longestGapMs);
        }
        const QString label = QStringLiteral("%1 Hz %2-bit").arg(rate).arg(bits);
        std::printf(
            "  %-18s %5.1f / %5.1f    %6.1f / %6.1f   %7.2f / %7.2f   %5.2f      %5.1f / %5.1f\n",
            qPrintable(label), median(f.lead), maxOf(f.lead), minOf(f.played), maxOf(f.played),
            minOf(f.hz), maxOf(f.hz), maxOf(f.gaps), minOf(f.tail), maxOf(f.tail));
        // Sound before PTT, or after it, is what this program must never do; a file cut,
        // stretched, off pitch or with gaps is what it must not send.
        const bool outside = minOf(f.lead) < 0 || minOf(f.tail) < 0;
        const bool whole = minOf(f.played) >= kFileMs - 20 && maxOf(f.played) <= kFileMs + 20;
        const bool pitch = std::abs(minOf(f.hz) - kToneHz) <= kToneHz * 0.005 &&
                           std::abs(maxOf(f.hz) - kToneHz) <= kToneHz * 0.005;
        const bool noGaps = maxOf(f.gaps) < kDropoutMs;
        if (outside || !whole || !pitch || !noGaps || f.lead.size() != size_t(kSends)) {
            std::printf("    %s%s%s%s\n", outside ? "SOUND OUTSIDE PTT " : "",
                        whole ? "" : "NOT WHOLE ", pitch ? "" : "OFF PITCH ",
                        noGaps ? "" : "DROPOUTS");
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
    return failures ? 1 : 0;
}
