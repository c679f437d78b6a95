// Timeliness of the tick against a slow node: readings that take 2.5 s, behind ThreadedLink.
//
// Three runs one after the other in one process, each for the same number of seconds, each
// ticked by the program's SecondTimer against the real clock with a slot made due three
// seconds after the last one went out:
//
//   baseline        the main window (scheduler tick and lamps) with a node answering at once
//   window, 2.5 s   the same window as it is, the node's readings taking 2.5 s
//   station, 2.5 s  a station tick that reads the node bounded and sends without waiting on
//                   it (ThreadedLink::submit), the node's readings taking 2.5 s
//
// For each it prints the delay of each tick after the start of its second, the seconds no
// tick looked at, the slots due and sent, and the delay from a due second to the node
// taking the file (PlayFile). A slot whose file the node has not taken 10 s after its second
// counts as missed. The window's 1000 ms pause of a send is recorded, not slept, as in
// tick_bench; the station's is a timer.
//
// Usage: slow_node_bench [seconds per run]   (default 60)

#include "core/SecondTimer.h"
#include "core/Station.h"
#include "link/ThreadedLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

using namespace anunciel;

namespace {

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The node: readings take readMs; it notes when it took each file.
class TimedNode final : public LinkObject
{
public:
    struct Record
    {
        std::mutex mutex;
        std::vector<qint64> playedAt;
    };
    TimedNode(int readMs, std::shared_ptr<Record> record)
        : m_readMs(readMs), m_record(std::move(record))
    {
    }
    LinkStatus RfBusy(std::int16_t &value) override { return read(value); }
    LinkStatus IpBusy(std::int16_t &value) override { return read(value); }
    LinkStatus SetTransmit(bool) override { return {}; }
    LinkStatus PlayFile(const std::string &, bool) override
    {
        const std::lock_guard lock(m_record->mutex);
        m_record->playedAt.push_back(nowMs());
        return {};
    }

private:
    LinkStatus read(std::int16_t &value)
    {
        QThread::msleep(quint64(m_readMs));
        value = 0;
        return {};
    }
    int m_readMs;
    std::shared_ptr<TimedNode::Record> m_record;
};

LinkCreation makeLink(int readMs, const std::shared_ptr<TimedNode::Record> &record)
{
    return ThreadedLink::create(
        [readMs, record](const ThreadedLink::Note &) {
            return LinkCreation{std::make_unique<TimedNode>(readMs, record), LinkStatus::success()};
        },
        nullptr);
}

class RecordingPause final : public Pause
{
public:
    void pause(int) override {}
};

class FolderDesktop final : public Desktop
{
public:
    QString folder;
    void beep() override {}
    void openUrl(const QUrl &) override {}
    QString programFolder() const override { return folder; }
    QString executableName() const override { return QStringLiteral("slow_node_bench"); }
};

double at(std::vector<qint64> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return double(v[std::min(v.size() - 1, size_t(q * double(v.size())))]);
}

// What one run saw.
struct Run
{
    explicit Run(const char *n) : name(n) {}
    const char *name;
    std::shared_ptr<TimedNode::Record> record = std::make_shared<TimedNode::Record>();
    std::vector<qint64> ticks;
    std::vector<qint64> sendDelays;
    size_t playsSeen = 0;
    qint64 dueSecond = -1;
    int due = 0;
    int missed = 0;
    std::function<void(qint64 second)> arm; // makes a slot due at that epoch second

    // Called at the start of each tick: files the node took since, slots given up on, and
    // the next slot once none is waiting.
    void account(qint64 t)
    {
        ticks.push_back(t);
        std::vector<qint64> played;
        {
            const std::lock_guard lock(record->mutex);
            played = record->playedAt;
        }
        for (; playsSeen < played.size(); ++playsSeen) {
            if (dueSecond >= 0) {
                sendDelays.push_back(played[playsSeen] - dueSecond * 1000);
                dueSecond = -1;
            }
        }
        if (dueSecond >= 0 && t / 1000 > dueSecond + 10) {
            ++missed;
            dueSecond = -1;
        }
        if (dueSecond < 0) {
            dueSecond = t / 1000 + 3;
            ++due;
            arm(dueSecond);
        }
    }

    void report() const
    {
        int skipped = 0;
        std::vector<qint64> delays;
        for (size_t i = 0; i < ticks.size(); ++i) {
            delays.push_back(ticks[i] % 1000);
            if (i > 0)
                skipped += int(std::max<qint64>(0, ticks[i] / 1000 - ticks[i - 1] / 1000 - 1));
        }
        // The last slot may not have had its 10 s yet.
        const int decided = due - (dueSecond >= 0 ? 1 : 0);
        std::printf("%-16s %6zu %8d %8.0f %8.0f %8.0f | %4zu/%-4d %6d %8.0f %8.0f\n", name,
                    ticks.size(), skipped, at(delays, 0.5), at(delays, 0.99), at(delays, 1.0),
                    sendDelays.size(), decided, missed, at(sendDelays, 0.5), at(sendDelays, 0.99));
    }
};

void runFor(int seconds)
{
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    qApp->exec();
}

// The station as it is, ticked and its sides read every second.
void runWindow(Run &run, int readMs, int seconds, const Platform &platform)
{
    Station station(platform, [&] { return makeLink(readMs, run.record); });
    station.start(StationSettingsRead{});
    station.findChild<SecondTimer *>(QStringLiteral("Timer1"))->stop();
    station.findChild<QTimer *>(QStringLiteral("Timer2"))->stop();
    station.setFileName(3, QStringLiteral("aviso.wav"));
    station.setEnabled(3, Qt::Checked);
    run.arm = [&](qint64 second) {
        const QTime time = QDateTime::fromMSecsSinceEpoch(second * 1000).time();
        station.setTime(3, time.toString(QStringLiteral("HH:mm:ss")));
    };
    SecondTimer timer(*platform.clock);
    QObject::connect(&timer, &SecondTimer::timeout, [&] {
        run.account(nowMs());
        station.onSecond();
        station.readSides();
    });
    timer.start();
    runFor(seconds);
    timer.stop();
}

// A station tick as the window should have it: the readings bounded, the send going on
// while the ticks do.
void runStation(Run &run, int readMs, int seconds, Clock &clock)
{
    LinkCreation made = makeLink(readMs, run.record);
    auto &link = static_cast<ThreadedLink &>(*made.link);
    qint64 sendAt = -1;
    run.arm = [&](qint64 second) { sendAt = second; };
    using Op = ThreadedLink::Operation;
    const auto unkey = [&link] { link.submit({Op::SetTransmit, false, {}, true}, [](auto &) {}); };
    SecondTimer timer(clock);
    QObject::connect(&timer, &SecondTimer::timeout, [&] {
        const qint64 t = nowMs();
        run.account(t);
        std::int16_t value = 0;
        link.RfBusy(value);
        link.IpBusy(value);
        if (t / 1000 != sendAt)
            return;
        // A failed reading counts as free: keyed, played, paused, unkeyed, unwaited.
        link.submit({Op::SetTransmit, true, {}, true}, [&link, unkey](auto &) {
            link.submit({Op::PlayFile, false, "aviso.wav", true},
                        [unkey](auto &) { QTimer::singleShot(1000, qApp, unkey); });
        });
    });
    timer.start();
    runFor(seconds);
    timer.stop();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 60;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QFile wav(dir.filePath(QStringLiteral("aviso.wav")));
    wav.open(QIODevice::WriteOnly);
    Platform real = systemPlatform();
    RecordingPause pause;
    FolderDesktop desktop;
    desktop.folder = QDir::toNativeSeparators(dir.path());
    const Platform platform{real.clock, &pause, real.boxes, &desktop, real.log};

    std::printf("Three runs of %d s each against the real clock...\n", seconds);
    std::fflush(stdout);
    Run baseline("baseline");
    runWindow(baseline, 0, seconds, platform);
    Run window("window, 2.5 s");
    runWindow(window, 2500, seconds, platform);
    Run station("station, 2.5 s");
    runStation(station, 2500, seconds, *real.clock);

    std::printf("\n%-16s %6s %8s %8s %8s %8s | %9s %6s %8s %8s\n", "run", "ticks", "unseen",
                "tick p50", "tick p99", "tick max", "sent/due", "missed", "send p50", "send p99");
    std::printf("%-16s %6s %8s %8s %8s %8s | %9s %6s %8s %8s\n", "", "", "seconds", "ms", "ms",
                "ms", "", "", "ms", "ms");
    baseline.report();
    window.report();
    station.report();
    return 0;
}
