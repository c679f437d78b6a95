// Timeliness of the scheduler tick against the real clock.
//
// Three stations run side by side in one event loop, each with a fake link: one driven by
// the program's wall-clock-aligned SecondTimer, the other, as a baseline, by a plain repeating
// 1000 ms QTimer. For each it prints the seconds skipped and read twice, the delay of each
// tick after the start of its second, and the delay from the start of a due second to the
// PlayFile call, for a slot made due every few seconds.
//
// The 1000 ms pause of a send is recorded but not slept, so that one station's sends do not
// hold the other's ticks; the tick scheduling measured is otherwise the real one.
//
// Usage: tick_bench [seconds]   (default 600)

#include "FakeLink.h"
#include "core/SecondTimer.h"
#include "core/Station.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace anunciel;

namespace {

class RecordingPause final : public Pause
{
public:
    void pause(int) override { ++count; }
    int count = 0;
};

class FolderDesktop final : public Desktop
{
public:
    QString folder;
    void beep() override {}
    void openUrl(const QUrl &) override {}
    QString programFolder() const override { return folder; }
    QString executableName() const override { return QStringLiteral("tick_bench"); }
};

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

struct Stats
{
    double median = 0, p99 = 0, max = 0;
};

Stats stats(std::vector<qint64> v)
{
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return double(v[std::min(v.size() - 1, size_t(q * v.size()))]); };
    s.median = at(0.5);
    s.p99 = at(0.99);
    s.max = double(v.back());
    return s;
}

// One station and what it saw.
struct Run
{
    explicit Run(const char *n) : name(n) {}
    const char *name;
    std::unique_ptr<Station> station;
    test::FakeLink *link = nullptr;
    std::vector<qint64> tickEpochMs; // when each tick read the clock
    std::vector<qint64> sendDelays;  // PlayFile time minus start of the due second
    qint64 dueSecond = -1;           // epoch second the slot is set for
    int scheduled = 0;
    int missed = 0;

    void tick()
    {
        const qint64 t = nowMs();
        tickEpochMs.push_back(t);
        // A slot whose due second has passed without a send counts as missed.
        if (dueSecond >= 0 && t / 1000 > dueSecond + 1) {
            ++missed;
            dueSecond = -1;
        }
        station->onSecond();
        if (dueSecond < 0)
            armSlot(t);
    }

    // Makes slot 4 due three seconds from now, at second 0 of the clock's reading.
    void armSlot(qint64 t)
    {
        dueSecond = t / 1000 + 3;
        const QTime due = QDateTime::fromMSecsSinceEpoch(dueSecond * 1000).time();
        station->setTime(3, due.toString(QStringLiteral("HH:mm:ss")));
        ++scheduled;
    }

    void played()
    {
        if (dueSecond < 0)
            return;
        sendDelays.push_back(nowMs() - dueSecond * 1000);
        dueSecond = -1;
    }

    void report() const
    {
        int skipped = 0, doubled = 0;
        std::vector<qint64> delays;
        for (size_t i = 0; i < tickEpochMs.size(); ++i) {
            delays.push_back(tickEpochMs[i] % 1000);
            if (i == 0)
                continue;
            const qint64 gap = tickEpochMs[i] / 1000 - tickEpochMs[i - 1] / 1000;
            if (gap == 0)
                ++doubled;
            else if (gap > 1)
                skipped += int(gap - 1);
        }
        const Stats tick = stats(delays);
        const Stats send = stats(sendDelays);
        std::printf("%-28s %7zu %8d %8d %8.0f %8.0f %8.0f | %5d/%-5d %8.0f %8.0f\n", name,
                    tickEpochMs.size(), skipped, doubled, tick.median, tick.p99, tick.max,
                    int(sendDelays.size()), scheduled, send.median, send.p99);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 600;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QFile wav(dir.filePath(QStringLiteral("aviso.wav")));
    wav.open(QIODevice::WriteOnly);

    Platform real = systemPlatform();
    RecordingPause pause;
    FolderDesktop desktop;
    desktop.folder = QDir::toNativeSeparators(dir.path());
    Platform platform{real.clock, &pause, real.boxes, &desktop, real.log};

    Run aligned("SecondTimer (program)");
    Run baseline("QTimer 1000 ms (baseline)");
    Run edge("precise QTimer, edge phase");
    for (Run *run : {&aligned, &baseline, &edge}) {
        run->station = std::make_unique<Station>(platform, [run] {
            auto link = std::make_unique<test::FakeLink>();
            run->link = link.get();
            link->onCall = [run](const test::FakeLink::Call &c) {
                if (c.op == "PlayFile")
                    run->played();
            };
            return LinkCreation{std::move(link), LinkStatus::success()};
        });
        Station &s = *run->station;
        s.start(StationSettingsRead{});
        // Every station driven from here, so that each tick's moment is recorded as it starts.
        s.findChild<SecondTimer *>(QStringLiteral("Timer1"))->stop();
        s.findChild<QTimer *>(QStringLiteral("Timer2"))->stop();
        s.setFileName(3, QStringLiteral("aviso.wav"));
        s.setEnabled(3, Qt::Checked);
    }

    SecondTimer secondTimer(*real.clock);
    QObject::connect(&secondTimer, &SecondTimer::timeout, [&] { aligned.tick(); });
    QTimer plain;
    plain.setInterval(1000);
    QObject::connect(&plain, &QTimer::timeout, [&] { baseline.tick(); });
    // A plain Qt timer keeps the monotonic clock's phase (a coarse one rounds it to its own
    // whole seconds); a precise one started 3 ms before a second begins shows what happens
    // when that phase lies at the wall clock's edge.
    QTimer atEdge;
    atEdge.setTimerType(Qt::PreciseTimer);
    atEdge.setInterval(1000);
    QObject::connect(&atEdge, &QTimer::timeout, [&] { edge.tick(); });
    secondTimer.start();
    plain.start();
    QThread::msleep(quint64(1000 - nowMs() % 1000 + 997) % 1000);
    atEdge.start();

    std::printf("Running for %d s against the real clock...\n", seconds);
    std::fflush(stdout);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();

    std::printf("\n%-28s %7s %8s %8s %8s %8s %8s | %11s %8s %8s\n", "timer", "ticks", "skipped",
                "doubled", "tick p50", "tick p99", "tick max", "sent/due", "send p50", "send p99");
    std::printf("%-28s %7s %8s %8s %8s %8s %8s | %11s %8s %8s\n", "", "", "seconds", "seconds",
                "ms", "ms", "ms", "", "ms", "ms");
    aligned.report();
    baseline.report();
    edge.report();
    std::printf("\nmissed sends: program %d, baseline %d, edge phase %d\n", aligned.missed,
                baseline.missed, edge.missed);
    return 0;
}
