#pragma once

#include <string>

namespace velkora::win32 {

// The system directory (for example C:\Windows\System32), without a trailing backslash.
std::wstring systemDirectory();

} // namespace velkora::win32
