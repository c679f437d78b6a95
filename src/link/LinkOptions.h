#pragma once

// Command-line options of the platform's link, answered on the terminal before any window,
// or any display, is needed. Plain C++ so that the Windows binding builds without Qt.

#include <optional>

namespace anunciel {

// The option that lists the station's audio outputs.
inline constexpr const char *kListOutputsOption = "--listar-saidas";
// The option that lists the inputs the receiver's audio may come in on.
inline constexpr const char *kListInputsOption = "--listar-entradas";

// The program's exit status when the arguments asked for such an option (it has been
// answered); nothing when the program is to start as usual. Defined per platform, as
// createLink() is.
std::optional<int> runLinkOption(int argc, char *argv[]);

} // namespace anunciel
