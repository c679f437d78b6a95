// How long the station link's calls hold the user-interface thread, against Hamlib's dummy
// rig: a squelch read and a PTT change through the link, beside a bare request/answer on a
// socket of its own (the baseline), and a call to a daemon that is gone or hung.

#include "link/audio/AudioPlayer.h"
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

using namespace anunciel;

namespace {

// Plays nothing; its playback ends when told.
class SilentPlayer final : public AudioPlayer
{
public:
    Start check(const std::string &) override { return {LinkStatus::success(), {}}; }
    Start play(const std::string &, TimePoint) override { return {LinkStatus::success(), {}}; }
    void stop() override {}
    void end() { reportEnd(PlaybackEnd::Finished); }
};

template <typename F> double microsecondsPerCall(int n, F call)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < n; ++i)
        call();
    return double(clock.nsecsElapsed()) / 1000.0 / n;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString rigctld = QStandardPaths::findExecutable(QStringLiteral("rigctld"));
    if (rigctld.isEmpty()) {
        std::puts("SKIP: rigctld not found (Debian package libhamlib-utils)");
        return 0;
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();

    QProcess daemon;
    daemon.setStandardOutputFile(QProcess::nullDevice());
    daemon.setStandardErrorFile(QProcess::nullDevice());
    daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    daemon.start(rigctld, {"-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", QString::number(port)});
    daemon.waitForStarted();
    QTcpSocket raw;
    for (int i = 0; i < 100 && raw.state() != QAbstractSocket::ConnectedState; ++i) {
        raw.connectToHost(QHostAddress::LocalHost, port);
        if (!raw.waitForConnected(100))
            QThread::msleep(50);
    }
    if (raw.state() != QAbstractSocket::ConnectedState) {
        std::puts("rigctld did not start");
        return 1;
    }

    StationSettings settings;
    settings.rigctld = QStringLiteral("127.0.0.1:%1").arg(port);
    settings.keyingDelay = std::chrono::milliseconds(0);
    auto player = std::make_unique<SilentPlayer>();
    SilentPlayer *silent = player.get();
    LinkCreation created = createStationLink(settings, std::move(player), nullptr);
    if (!created.link) {
        std::printf("link not created: %s\n", created.status.description.c_str());
        return 1;
    }
    LinkObject &link = *created.link;
    const int n = 500;

    const auto bare = [&raw](const char *command) {
        raw.write(command);
        while (!raw.canReadLine())
            raw.waitForReadyRead(1000);
        raw.readLine();
    };
    const double baseline = microsecondsPerCall(n, [&] { bare("t\n"); });
    const double bareSquelch = microsecondsPerCall(n, [&] { bare("\\get_dcd\n"); });
    bool bareOn = false;
    const double barePtt =
        microsecondsPerCall(n, [&] { bare((bareOn = !bareOn) ? "T 1\n" : "T 0\n"); });
    std::int16_t value = 0;
    const double squelch = microsecondsPerCall(n, [&] { link.RfBusy(value); });
    // A send keys in PlayFile and unkeys at the sound's end: one T 1 and one T 0.
    const double ptt = microsecondsPerCall(n,
                                           [&] {
                                               link.PlayFile("/station/a.wav", true);
                                               silent->end();
                                           }) /
                       2;

    ::kill(pid_t(daemon.processId()), SIGSTOP);
    const double hung = microsecondsPerCall(5, [&] { link.RfBusy(value); });
    ::kill(pid_t(daemon.processId()), SIGCONT);
    daemon.kill();
    daemon.waitForFinished();
    const double gone = microsecondsPerCall(50, [&] { link.RfBusy(value); });

    std::printf("rigctld dummy rig on loopback, %d calls each, microseconds per call\n", n);
    std::printf("  baseline: bare 't' request/answer on a socket    %10.1f\n", baseline);
    std::printf("  bare '\\get_dcd' on a socket                     %10.1f\n", bareSquelch);
    std::printf("  bare 'T 1' / 'T 0' on a socket                   %10.1f\n", barePtt);
    std::printf("  RfBusy (\\get_dcd) through the link             %10.1f\n", squelch);
    std::printf("  PTT (T 1 in PlayFile / T 0 at the end), link     %10.1f\n", ptt);
    std::printf("  RfBusy, rigctld stopped (SIGSTOP), 5 calls       %10.1f  (bound %lld ms)\n",
                hung, static_cast<long long>(StationLink::kExchangeBound.count()));
    std::printf("  RfBusy, rigctld gone (connection refused), 50    %10.1f\n", gone);
    return 0;
}
