#pragma once

// The radio side heard on the receiver's audio: an input of the sound card recorded all
// the time at a low rate on a thread of its own, its level judged by LevelSquelch. Reads
// answer at once with the latest state. An input that goes away (a USB interface
// unplugged) makes reads fail until it is back; it is looked for again every second.

#include "link/audio/ChannelListener.h"

#include <QString>

#include <chrono>
#include <memory>

namespace anunciel {

struct AudioSquelchSettings
{
    // The input's name or id as Qt lists it; empty for the system's default input.
    QString input;
    double thresholdDb = -40;
    std::chrono::milliseconds hang{1000};
};

// Starts listening at once.
std::unique_ptr<ChannelListener> createAudioSquelch(const AudioSquelchSettings &settings);

} // namespace anunciel
