#pragma once

#include "platform/Platform.h"

namespace anunciel {

// The system's services with a screen: real boxes, the bell and the web browser.
Platform windowPlatform();

} // namespace anunciel
