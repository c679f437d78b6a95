#pragma once

// The rule that turns the receiver's audio into the radio side's busy state, as a squelch
// read from the sound: busy while the level of short blocks is above a threshold, and for a
// hang time after it falls below, so that the pauses between words of an over do not read
// as free. Plain code, fed samples and their time, so that it is tested without a sound
// card or real time passing.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace anunciel {

class LevelSquelch
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Level given to a block of digital silence, which has no logarithm.
    static constexpr double kSilenceDb = -120.0;

    LevelSquelch(double thresholdDb, std::chrono::milliseconds hang)
        : m_thresholdDb(thresholdDb), m_hang(hang)
    {
    }

    // RMS level of 16-bit samples in dB relative to full scale (a full-scale square wave is
    // 0 dBFS, a full-scale sine about -3).
    static double levelDb(std::span<const std::int16_t> samples);

    // One block of the input, its last sample recorded at `end`. Ignored while the program
    // itself transmits: its own sound on the input is no other station.
    void feed(std::span<const std::int16_t> samples, TimePoint end);
    void feedLevel(double levelDb, TimePoint end);

    // The program keys (true) or unkeys. While it transmits the state stays what it was when
    // it keyed (the radio is half duplex and hears nothing meanwhile); a channel busy then
    // stays busy for the hang counted from the unkey.
    void setTransmitting(bool on, TimePoint at);

    bool isBusy(TimePoint now) const;

    // Forgets what was heard: the input was lost and the sound since is unknown.
    void clear();

private:
    double m_thresholdDb;
    std::chrono::milliseconds m_hang;
    bool m_loud = false;                 // the last block was above the threshold
    std::optional<TimePoint> m_lastLoud; // end of the last block above it
    bool m_transmitting = false;
    bool m_busyWhenKeyed = false;
};

} // namespace anunciel
