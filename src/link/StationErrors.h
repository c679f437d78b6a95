#pragma once

// Error numbers of the station link, as the fatal report and the call statuses carry them.
// A refusal by rigctld itself keeps rigctld's own (negative) number.

#include <cstdint>

namespace anunciel::stationerror {

inline constexpr std::int32_t BadSetting = 1;     // a station setting cannot be understood
inline constexpr std::int32_t RigUnreachable = 2; // no connection to rigctld
inline constexpr std::int32_t RigNoAnswer = 3;    // no complete answer within the bound
inline constexpr std::int32_t RigBadAnswer = 4;   // an answer that is not the protocol's
inline constexpr std::int32_t NoAudioOutput = 5;
inline constexpr std::int32_t BadAudioFile = 6;
inline constexpr std::int32_t AudioFailed = 7;
inline constexpr std::int32_t NoAudioInput = 8;  // the input the radio side is heard on is gone
inline constexpr std::int32_t NoSoundServer = 9; // the sound server cannot be reached
inline constexpr std::int32_t ChannelBusy = 10;  // a waiting file's turn came on a busy channel

} // namespace anunciel::stationerror
