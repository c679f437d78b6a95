#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace anunciel {

class Clock;

// A 1000 ms timer that keeps the wall clock's phase: every timeout is armed for shortly after
// the next second begins, so each second of the clock is read once, and a send starts within
// milliseconds of its second. A plain repeating timer drifts against the wall clock and, near
// a second's edge or when the clock is stepped, reads one second twice and skips the next.
class SecondTimer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SecondTimer)

public:
    SecondTimer(Clock &clock, QObject *parent = nullptr);

    int interval() const { return m_interval; }
    void setInterval(int ms) { m_interval = ms; }
    bool isActive() const { return m_active; }
    void start();
    void stop();
    // Milliseconds until the next timeout, -1 when inactive.
    int remainingTime() const { return m_timer.remainingTime(); }

    // How long after the start of a second a timeout is aimed at.
    static constexpr int kLeadMs = 2;

signals:
    void timeout();

private:
    void arm();
    void fire();

    Clock &m_clock;
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    int m_interval = 1000;
    int m_lastSecond = -1;
    bool m_active = false;
};

} // namespace anunciel
