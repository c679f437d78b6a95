#pragma once

// The steps that make the node transmit one file: the link checks, then key, play, pause
// and unkey. A failed check counts as passed; a failed call never stops the steps after it.

#include <functional>
#include <string>

namespace anunciel {

class LinkObject;
class Pause;

enum class RfReads
{
    Once,
    Twice
};

// True when both sides read free (or their reads failed). The scheduler reads RF twice.
bool linkIsFree(LinkObject &link, RfReads rfReads);

// Keys, plays the file whose path `path` gives at that moment, pauses 1000 ms, unkeys.
void transmitFile(LinkObject &link, Pause &pause, const std::function<std::string()> &path);

inline constexpr int kTransmitPauseMs = 1000;

} // namespace anunciel
