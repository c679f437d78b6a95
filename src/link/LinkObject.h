#pragma once

// The node software's automation object, as the program uses it: four operations, each
// answering with a status. Plain C++ so that the Windows binding builds without Qt.

#include <cstdint>
#include <memory>
#include <string>

namespace anunciel {

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
};

// Result of creating the link at start-up: either a link, or the reason it could not be made.
struct LinkCreation
{
    std::unique_ptr<LinkObject> link;
    LinkStatus status;
};

// Creates the platform's link. Each platform defines it in its own source, chosen by CMake:
// Windows in link/win/ComLink.cpp (the node software's automation object), elsewhere in
// link/StationLink.cpp (the station keyed through rigctld, the sound played here). `log`
// (may be null) gets what the operator should know of the link while it runs.
LinkCreation createLink(Log *log);

} // namespace anunciel
