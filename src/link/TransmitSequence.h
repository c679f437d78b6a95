#pragma once

// The steps that make the node transmit one file: the link checks, then key, play, pause
// and unkey. A failed check counts as passed; a failed call never stops the steps after it.

#include "LinkObject.h"

#include <functional>
#include <string>

namespace anunciel {

class Pause;

enum class RfReads
{
    Once,
    Twice
};

enum class LinkState
{
    Free,
    RfBusy,
    IpBusy
};

// Which side, if any, keeps a send from going out: RF is read first (twice for the
// scheduler), then IP. A read that fails counts as free.
LinkState readLinkState(LinkObject &link, RfReads rfReads);

// Keys, plays the file whose path `path` gives at that moment, pauses 1000 ms, unkeys, each
// step whatever the one before answered. Returns what the node answered to the play.
LinkStatus transmitFile(LinkObject &link, Pause &pause, const std::function<std::string()> &path);

inline constexpr int kTransmitPauseMs = 1000;

} // namespace anunciel
