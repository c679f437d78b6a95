// The radio side heard on the receiver's audio, measured: a private PulseAudio server whose
// output is a null sink, its monitor remapped into the input the squelch listens to, and the
// same monitor recorded (parec) to tell when sound was really there. Prints:
//   busy delay  from the first sample of a voice to the listener reading busy;
//   free delay  from the last sample of the voice to it reading free, less the hang;
// median and worst over the overs; the share of time read busy on receiver hiss at the
// default threshold; and the CPU the listener costs while the channel is quiet, beside the
// same process without it (a link that never reads busy) in the same run, for this process
// and for the sound server.
//
// Needs Debian's pulseaudio and pulseaudio-utils (parec). About two minutes.

#include "MonitorRecorder.h"
#include "Wav.h"
#include "link/audio/AudioPlayer.h"
#include "link/audio/AudioSquelch.h"
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

using namespace anunciel;
using namespace anunciel::bench;
using namespace std::chrono_literals;

namespace {

constexpr int kOvers = 24;
constexpr int kOverMs = 1500;
constexpr double kVoiceDb = -20;
constexpr std::chrono::milliseconds kHang = kDefaultAudioHang;
// A sample louder than this (of 32767, -40 dBFS) is sound on the monitor.
constexpr int kSoundSample = 328;
constexpr int kHissMs = 15000;
constexpr int kIdleS = 30;

bool writeWav(const QString &path, const std::vector<qint16> &samples)
{
    QFile file(path);
    const QByteArray wav = test::mono16Wav(samples);
    return file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size();
}

double cpuSeconds(qint64 pid)
{
    if (pid == 0) {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields[11].toLongLong() + fields[12].toLongLong()) /
           double(::sysconf(_SC_CLK_TCK));
}

struct Idle
{
    double program = 0; // % of one core
    double server = 0;
};

// The process left idle for kIdleS with `link` read once a second, as the window reads it.
Idle idleCpu(LinkObject &link, qint64 serverPid)
{
    QTimer reads;
    reads.callOnTimeout([&link] {
        std::int16_t value = 0;
        link.RfBusy(value);
    });
    reads.start(1000);
    waitFor([] { return false; }, 2000); // let a starting stream settle
    const double p0 = cpuSeconds(0), s0 = cpuSeconds(serverPid);
    const Clock::time_point t0 = Clock::now();
    QTimer end;
    end.setSingleShot(true);
    QEventLoop loop;
    end.callOnTimeout(&loop, &QEventLoop::quit);
    end.start(kIdleS * 1000);
    loop.exec();
    const double seconds = ms(Clock::now() - t0) / 1000;
    return {100 * (cpuSeconds(0) - p0) / seconds, 100 * (cpuSeconds(serverPid) - s0) / seconds};
}

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
    // Qt lists no monitor as an input: the remapped source stands for the receiver.
    server.start(pulseaudio,
                 {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                  "--load=module-null-sink sink_name=null rate=44100 channels=1",
                  "--load=module-remap-source master=null.monitor source_name=receptor",
                  "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
    for (int i = 0; i < 200 && !QFile::exists(socket); ++i)
        QThread::msleep(25);
    if (!QFile::exists(socket)) {
        std::puts("pulseaudio did not start");
        return 1;
    }
    qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
    QCoreApplication app(argc, argv);

    const QString over = dir.filePath(QStringLiteral("cambio.wav"));
    if (!writeWav(over, test::speechSamples(kOverMs, kVoiceDb)))
        return 1;
    const AudioSquelchSettings squelch{QStringLiteral("receptor"), kDefaultAudioThresholdDb, kHang};

    std::printf("Squelch read from the audio: threshold %.0f dBFS, hang %lld ms, input at 8000 "
                "Hz in 20 ms blocks.\n\n",
                squelch.thresholdDb, qlonglong(kHang.count()));

    // ---- busy and free delays ----
    std::vector<double> busyDelays, freeDelays;
    int missed = 0;
    {
        MonitorRecorder recorder;
        if (!recorder.start(parec)) {
            std::puts("parec did not start");
            return 1;
        }
        std::unique_ptr<ChannelListener> listener = createAudioSquelch(squelch);
        const std::unique_ptr<AudioPlayer> otherStation = createSystemAudioPlayer();
        bool busy = false;
        waitFor([&] { return recorder.started() && listener->busy(busy).ok(); }, 5000);
        waitFor([] { return false; }, 1000);
        for (int i = 0; i < kOvers; ++i) {
            const Clock::time_point played = Clock::now();
            otherStation->play(over.toStdString(), played);
            std::optional<Clock::time_point> readBusy, readFree;
            const Clock::time_point until =
                played + std::chrono::milliseconds(kOverMs) + kHang + 3s;
            while (!readFree && Clock::now() < until) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                QThread::usleep(500);
                if (!listener->busy(busy).ok())
                    continue;
                if (busy && !readBusy)
                    readBusy = Clock::now();
                else if (!busy && readBusy)
                    readFree = Clock::now();
            }
            waitFor([] { return false; }, 300);
            const auto sound = soundAfter(recorder, played - 200ms, Clock::now(), kSoundSample);
            if (!sound || !readBusy || !readFree) {
                ++missed;
                continue;
            }
            busyDelays.push_back(ms(*readBusy - sound->first));
            freeDelays.push_back(ms(*readFree - sound->second) - double(kHang.count()));
        }
    }
    const auto worst = [](const std::vector<double> &v) {
        return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
    };
    std::printf("Overs of %d ms of voice at %.0f dBFS: %zu measured, %d missed.\n", kOverMs,
                kVoiceDb, busyDelays.size(), missed);
    std::printf("  busy delay (sound start -> busy):         median %6.1f ms, worst %6.1f ms "
                "(target <= 150)\n",
                median(busyDelays), worst(busyDelays));
    std::printf("  free delay (sound end -> free, less hang): median %6.1f ms, worst %6.1f ms "
                "(target <= 150)\n\n",
                median(freeDelays), worst(freeDelays));

    // ---- receiver hiss ----
    std::printf("Receiver hiss (white noise), %d s each, at the default threshold:\n",
                kHissMs / 1000);
    for (const double hissDb : {-60.0, -50.0, -45.0}) {
        const QString hiss = dir.filePath(QStringLiteral("chiado.wav"));
        if (!writeWav(hiss, test::hissSamples(kHissMs, hissDb)))
            return 1;
        std::unique_ptr<ChannelListener> listener = createAudioSquelch(squelch);
        const std::unique_ptr<AudioPlayer> player = createSystemAudioPlayer();
        bool busy = false;
        waitFor([&] { return listener->busy(busy).ok(); }, 5000);
        bool ended = false;
        player->setEndHandler([&ended](PlaybackEnd) { ended = true; });
        player->play(hiss.toStdString(), Clock::now());
        waitFor([] { return false; }, 500); // the hiss reaches the input
        int reads = 0, busyReads = 0, turnedBusy = 0;
        bool was = false;
        while (!ended) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(5);
            if (!listener->busy(busy).ok())
                continue;
            ++reads;
            busyReads += busy;
            turnedBusy += busy && !was;
            was = busy;
        }
        std::printf("  hiss at %.0f dBFS: busy in %d of %d reads (%.2f %%), %d false busy\n",
                    hissDb, busyReads, reads, reads ? 100.0 * busyReads / reads : 0, turnedBusy);
    }

    // ---- idle CPU ----
    std::printf("\nIdle CPU over %d s, the radio side read once a second (%% of one core):\n",
                kIdleS);
    Idle without, with;
    {
        StationSettings settings;
        settings.rf.detection = RfDetection::Never;
        LinkCreation created = createStationLink(settings, createSystemAudioPlayer(), nullptr);
        without = idleCpu(*created.link, server.processId());
    }
    {
        StationSettings settings;
        settings.rf.detection = RfDetection::Audio;
        settings.rf.audioInput = squelch.input;
        LinkCreation created = createStationLink(settings, createSystemAudioPlayer(), nullptr);
        with = idleCpu(*created.link, server.processId());
    }
    std::printf("  baseline, never busy (nenhuma): program %5.2f %%, sound server %5.2f %%\n",
                without.program, without.server);
    std::printf("  listening (audio):              program %5.2f %%, sound server %5.2f %%\n",
                with.program, with.server);
    std::printf("  added by the listener:          program %5.2f %%, sound server %5.2f %% "
                "(target <= 0.3 %% in all)\n",
                with.program - without.program, with.server - without.server);

    server.terminate();
    server.waitForFinished(3000);
    return missed ? 1 : 0;
}
