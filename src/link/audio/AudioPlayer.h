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
    Finished,      // played out, the output's last sample included
    Failed,        // broken off part way: the sound server stopped
    OutputGone,    // broken off part way: the output went, or the stream was moved off it
    NothingPlayed, // ended before its first sample reached the output
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
    // Whether the sound server can be reached, and if not why (for the operator).
    using ServerHandler = std::function<void(bool reachable, const std::string &why)>;

    virtual ~AudioPlayer() = default;

    // Whether the file (absolute path, UTF-8) can be played on the output now, and for how
    // long, without playing anything: the transmitter is keyed only for a file that passes.
    virtual Start check(const std::string &path) = 0;
    // Stops what is playing, then opens the output the file will play on and holds it open,
    // sounding silence, until play() or stop(): once this has succeeded the file's first
    // sample can go out at any moment. The transmitter is keyed only after it.
    virtual Start prepare(const std::string &path) { return check(path); }
    // Plays the file with its first sample not before `startAt`, on the output prepare()
    // opened for it (opened here when it was not), and returns at once. A file that cannot
    // be played is a failed status, never an exception.
    virtual Start play(const std::string &path, TimePoint startAt) = 0;
    // Stops playback and lets a prepared output go; no end is reported for either.
    virtual void stop() = 0;

    // Called from the event loop when a playback ends by itself, played out or broken off.
    void setEndHandler(EndHandler handler) { m_onEnd = std::move(handler); }
    // Called from the event loop when the sound server is lost, or back after being lost.
    void setServerHandler(ServerHandler handler) { m_onServer = std::move(handler); }

protected:
    void reportEnd(PlaybackEnd end)
    {
        if (m_onEnd)
            m_onEnd(end);
    }
    void reportServer(bool reachable, const std::string &why)
    {
        if (m_onServer)
            m_onServer(reachable, why);
    }

private:
    EndHandler m_onEnd;
    ServerHandler m_onServer;
};

// Plays through the desktop's sound server on the output whose name (its description, or its
// system id, as Qt lists them) is `outputName`, or on the server's default output when that
// is empty.
std::unique_ptr<AudioPlayer> createSystemAudioPlayer(const std::string &outputName = {});

} // namespace anunciel
