#include "core/SecondTimer.h"

#include "platform/Platform.h"

namespace anunciel {

SecondTimer::SecondTimer(Clock &clock, QObject *parent) : QObject(parent), m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SecondTimer::fire);
}

void SecondTimer::start()
{
    m_active = true;
    arm();
}

void SecondTimer::stop()
{
    m_active = false;
    m_timer.stop();
}

void SecondTimer::arm()
{
    const int ms = m_clock.now().msec();
    const int period = m_interval > 0 ? m_interval : 1000;
    m_timer.start((period - ms % period) % period + kLeadMs);
}

void SecondTimer::fire()
{
    if (!m_active)
        return;
    const QTime now = m_clock.now();
    const int second = now.msecsSinceStartOfDay() / 1000;
    // A timeout that lands again inside the second just read (the wall clock was stepped
    // back a little, or the timer woke early) waits for the next second instead.
    const bool again =
        second == m_lastSecond && m_sinceLast.isValid() && m_sinceLast.elapsed() < m_interval / 2;
    // Armed before the handler runs, so that ticks go on while the handler waits in a
    // message box; a handler held in a send simply finds the timeout due when it returns.
    arm();
    if (again)
        return;
    m_lastSecond = second;
    m_sinceLast.start();
    emit timeout();
}

} // namespace anunciel
