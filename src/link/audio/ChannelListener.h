#pragma once

// Where the radio side's busy state comes from when the radio cannot tell it through
// rigctld: something that listens to the channel on its own and answers at once with the
// latest state, so that the window is never held by a read.

#include "link/LinkObject.h"

namespace anunciel {

class ChannelListener
{
public:
    virtual ~ChannelListener() = default;

    // The latest state, without waiting. A failed status when the channel cannot be heard
    // (the input was lost); the description says so for the operator.
    virtual LinkStatus busy(bool &busy) = 0;
    // The program itself starts (true) or stops transmitting: what it hears meanwhile is
    // its own sound.
    virtual void setTransmitting(bool on) = 0;
};

} // namespace anunciel
