#pragma once

#include "platform/registry.h"

namespace velkora::win32 {

// The registry itself, through the Win32 registry calls in its 64-bit view. It holds no
// state: one serves the whole program.
Registry& systemRegistry();

} // namespace velkora::win32
