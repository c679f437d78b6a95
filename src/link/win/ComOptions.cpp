#include "link/LinkOptions.h"

namespace anunciel {

// The node software plays the sound on Windows: the link has no options of its own.
std::optional<int> runLinkOption(int, char *[])
{
    return std::nullopt;
}

} // namespace anunciel
