#pragma once

// Plays the announcement's sound on the station's audio output, behind an interface of its
// own so that the link's keying can be driven without a sound card.

#include "link/LinkObject.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace anunciel {

enum class PlaybackEnd
{
    Finished,
    Failed
};

class AudioPlayer
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Start
    {
        LinkStatus status;
        std::chrono::milliseconds length{0}; // the file's own playing time, when playable
    };
    using EndHandler = std::function<void(PlaybackEnd)>;

    virtual ~AudioPlayer() = default;

    // Whether the file (absolute path, UTF-8) can be played on the output now, and for how
    // long, without playing anything: the transmitter is keyed only for a file that passes.
    virtual Start check(const std::string &path) = 0;
    // Stops what is playing, then plays the file with its first sample not before `startAt`,
    // and returns at once. A file that cannot be played is a failed status, never an
    // exception.
    virtual Start play(const std::string &path, TimePoint startAt) = 0;
    // Stops playback; no end is reported for the playback stopped.
    virtual void stop() = 0;

    // Called from the event loop when a playback ends by itself, played out or broken off.
    void setEndHandler(EndHandler handler) { m_onEnd = std::move(handler); }

protected:
    void reportEnd(PlaybackEnd end)
    {
        if (m_onEnd)
            m_onEnd(end);
    }

private:
    EndHandler m_onEnd;
};

// Plays on the output whose name (Qt's description of it, or its system id) is `outputName`,
// or on the system's default output when that is empty.
std::unique_ptr<AudioPlayer> createSystemAudioPlayer(const std::string &outputName = {});

} // namespace anunciel
