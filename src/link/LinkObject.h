#pragma once

// The node software's automation object, as the program uses it: four operations, each
// answering with a status. Plain C++ so that the Windows binding builds without Qt.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace anunciel {

struct StationSettings;

class Log;

// Success, or an error number (an HRESULT on Windows) with a description.
struct LinkStatus
{
    std::int32_t code = 0;
    std::string description; // UTF-8

    bool ok() const { return code == 0; }
    static LinkStatus success() { return {}; }
    static LinkStatus failure(std::int32_t code, std::string description)
    {
        return {code, std::move(description)};
    }
};

// What became of a file a link took for playing, for a link that plays the sound itself and
// so learns it: played whole (a success), or cut off or never started (a failure saying why),
// and how long it sounded.
struct PlayOutcome
{
    std::string path;
    LinkStatus status;
    bool started = false; // some of it went out
    std::chrono::milliseconds played{0};
};
using PlayOutcomeHandler = std::function<void(const PlayOutcome &)>;
// Asked by a link that queues files when a waiting file's turn comes: after the file before
// it and its tail have played out, before the first sample of its own. False keeps it off
// the air; its outcome then says so (stationerror::ChannelBusy, not started).
using TurnCheck = std::function<bool(const std::string &path)>;

class LinkObject
{
public:
    virtual ~LinkObject() = default;

    // 0 = that side is free; any other value = busy.
    virtual LinkStatus RfBusy(std::int16_t &value) = 0;
    virtual LinkStatus IpBusy(std::int16_t &value) = 0;
    // Keys (true) or unkeys (false) the transmitter.
    virtual LinkStatus SetTransmit(bool on) = 0;
    // Has the node play a WAV file; path is absolute, UTF-8. The flag is always true.
    virtual LinkStatus PlayFile(const std::string &path, bool flag) = 0;

    // True for a link that tells, through the handler, what became of every file PlayFile
    // took; the node software does not, so a file it took counts as sent.
    virtual bool tellsPlayOutcome() const { return false; }
    virtual void setPlayOutcomeHandler(PlayOutcomeHandler) {}

    // The name of a call the node has had for longer than any call may take and not
    // answered (a hung node), empty when there is none: on the way out the log says so, and
    // nothing waits for it.
    virtual std::string unansweredCall() const { return {}; }
    // False for a link with nothing to hear the radio side on (no squelch source): its radio
    // reads free always, which is no measurement.
    virtual bool hearsRadioSide() const { return true; }
    // For a link that queues files itself: who decides whether a waiting file may take its
    // turn. Without one the link reads its own radio side then.
    virtual void setTurnCheck(TurnCheck) {}
    // Whether the link's own sound is on the air now (a file playing, or a waiting one's
    // turn being taken): the channel heard meanwhile is not a free one.
    virtual bool transmitting() const { return false; }
};

// Result of creating the link at start-up: either a link, or the reason it could not be made.
struct LinkCreation
{
    std::unique_ptr<LinkObject> link;
    LinkStatus status;
};

// Creates the platform's link from the settings read at start. Each platform defines it in its own source, chosen by CMake:
// Windows in link/win/ComLink.cpp (the node software's automation object), elsewhere in
// link/StationLink.cpp (the station keyed through rigctld, the sound played here). `log`
// (may be null) gets what the operator should know of the link while it runs.
LinkCreation createLink(const StationSettings &settings, Log *log);

} // namespace anunciel
