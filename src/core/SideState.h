#pragma once

namespace anunciel {

// What one side of the node is known to be: free, busy, or unknown when its last read failed.
enum class SideState
{
    Free,
    Busy,
    Unknown
};

} // namespace anunciel
