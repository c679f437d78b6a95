#pragma once

// For benchmarks with a private PulseAudio server whose output is a null sink named "null"
// (at 44100 Hz, mono): that sink's monitor recorded with parec, each block stamped with the
// steady clock as it arrives, to tell when sound was really played.

#include <QCoreApplication>
#include <QString>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace anunciel::bench {

using Clock = std::chrono::steady_clock;

constexpr int kMonitorRate = 44100; // the null sink's own rate: nothing is resampled on the way

// parec on the sink's monitor, read on a thread of its own; each block is stamped with the
// steady clock as it arrives.
class MonitorRecorder
{
public:
    bool start(const QString &parec)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        const QByteArray program = parec.toLocal8Bit();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execl(program.constData(), "parec", "-d", "null.monitor", "--raw", "--format=s16le",
                    "--channels=1", "--rate=44100", "--latency-msec=5",
                    static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        m_fd = fds[0];
        m_thread = std::thread([this] { read(); });
        return m_pid > 0;
    }
    ~MonitorRecorder()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Frames recorded so far, and the time of frame 0: every block ending at frame n
    // arrived no sooner than that frame was played, so the earliest (arrival - n / rate)
    // is the closest bound.
    std::vector<qint16> samples(Clock::time_point &frameZero) const
    {
        std::lock_guard lock(m_mutex);
        frameZero = m_frameZero;
        return m_samples;
    }
    bool started() const { return m_blocks > 0; }

private:
    void read()
    {
        char buffer[512];
        std::string pending;
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            const Clock::time_point arrived = Clock::now();
            if (n <= 0)
                return;
            pending.append(buffer, size_t(n));
            std::lock_guard lock(m_mutex);
            const size_t whole = pending.size() / 2 * 2;
            for (size_t i = 0; i < whole; i += 2)
                m_samples.push_back(qint16(quint8(pending[i]) | (quint8(pending[i + 1]) << 8)));
            pending.erase(0, whole);
            const auto sinceZero =
                std::chrono::nanoseconds(qint64(m_samples.size()) * 1000000000LL / kMonitorRate);
            const Clock::time_point zero = arrived - sinceZero;
            if (m_blocks++ == 0 || zero < m_frameZero)
                m_frameZero = zero;
        }
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<qint16> m_samples;
    Clock::time_point m_frameZero;
    std::atomic<int> m_blocks{0};
};

inline double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

inline void waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && Clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

// The first and last frames louder than `threshold` (of 32767) between `from` and `to`.
inline std::optional<std::pair<Clock::time_point, Clock::time_point>>
soundAfter(const MonitorRecorder &recorder, Clock::time_point from, Clock::time_point to,
           int threshold)
{
    Clock::time_point zero;
    const std::vector<qint16> samples = recorder.samples(zero);
    const auto timeOf = [&](size_t i) {
        return zero + std::chrono::nanoseconds(qint64(i) * 1000000000LL / kMonitorRate);
    };
    std::optional<size_t> first, last;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Clock::time_point t = timeOf(i);
        if (t < from || t > to)
            continue;
        if (std::abs(int(samples[i])) > threshold) {
            if (!first)
                first = i;
            last = i;
        }
    }
    if (!first)
        return std::nullopt;
    return std::make_pair(timeOf(*first), timeOf(*last + 1));
}

} // namespace anunciel::bench
