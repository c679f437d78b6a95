#pragma once

// The program without a screen: the station as a service (`--sem-janela`), and the commands
// that talk to a running station from a shell (`--enviar-agora N`, `--situacao`). `--pasta
// DIR` makes DIR the station folder, for the window too.

#include <optional>

namespace anunciel {

inline constexpr const char *kNoWindowOption = "--sem-janela";
inline constexpr const char *kSendNowOption = "--enviar-agora";
inline constexpr const char *kStatusOption = "--situacao";
inline constexpr const char *kFolderOption = "--pasta";

// The program's exit status when the arguments asked for a run without a screen (it has run);
// nothing when the window is to start.
std::optional<int> runScreenlessOption(int argc, char *argv[]);

// Before the window: where there is no display for it, says so (log and standard error) and
// gives the exit status; nothing where a window can be shown.
std::optional<int> refuseWindowWithoutDisplay(int argc, char *argv[]);

} // namespace anunciel
