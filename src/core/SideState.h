#pragma once

#include <QString>

namespace anunciel {

// What one side of the node is known to be: free, busy, or unknown when its last read failed.
enum class SideState
{
    Free,
    Busy,
    Unknown,
    // Nothing to read it from (no squelch source): counts as free, but is no measurement.
    Undetected
};

inline constexpr int kRadio = 0;
inline constexpr int kInternet = 1;

// The indicator's caption for a side (0 the radio, 1 the internet): "RF livre",
// "IP ocupado " (the design's trailing blank kept), "RF sem leitura".
inline QString sideCaption(int side, SideState state)
{
    const QString code = side == kRadio ? QStringLiteral("RF") : QStringLiteral("IP");
    switch (state) {
    case SideState::Free:
        return code + QStringLiteral(" livre");
    case SideState::Busy:
        return code + QStringLiteral(" ocupado ");
    case SideState::Undetected:
        return code + QStringLiteral(" sem detecção");
    case SideState::Unknown:
        break;
    }
    return code + QStringLiteral(" sem leitura");
}

} // namespace anunciel
