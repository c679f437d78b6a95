#include "link/audio/LevelSquelch.h"

#include <algorithm>
#include <cmath>

namespace anunciel {

double LevelSquelch::levelDb(std::span<const std::int16_t> samples)
{
    if (samples.empty())
        return kSilenceDb;
    double sum = 0;
    for (const std::int16_t sample : samples)
        sum += double(sample) * double(sample);
    const double rms = std::sqrt(sum / double(samples.size())) / 32768.0;
    return rms > 0 ? std::max(kSilenceDb, 20.0 * std::log10(rms)) : kSilenceDb;
}

void LevelSquelch::feed(std::span<const std::int16_t> samples, TimePoint end)
{
    if (!m_transmitting)
        feedLevel(levelDb(samples), end);
}

void LevelSquelch::feedLevel(double levelDb, TimePoint end)
{
    if (m_transmitting)
        return;
    m_loud = levelDb > m_thresholdDb;
    if (m_loud)
        m_lastLoud = end;
}

void LevelSquelch::setTransmitting(bool on, TimePoint at)
{
    if (on == m_transmitting)
        return;
    if (on) {
        m_busyWhenKeyed = isBusy(at);
        m_transmitting = true;
        return;
    }
    m_transmitting = false;
    // What the input heard while keyed was this program's own sound: it is forgotten.
    m_loud = false;
    m_lastLoud = m_busyWhenKeyed ? std::optional<TimePoint>(at) : std::nullopt;
}

bool LevelSquelch::isBusy(TimePoint now) const
{
    if (m_transmitting)
        return m_busyWhenKeyed;
    return m_loud || (m_lastLoud && now < *m_lastLoud + m_hang);
}

void LevelSquelch::clear()
{
    m_loud = false;
    m_lastLoud.reset();
    m_busyWhenKeyed = false;
}

} // namespace anunciel
