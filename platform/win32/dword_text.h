#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velkora::win32 {

// The number that a REG_DWORD datum given as text denotes: ASCII decimal digits with
// optional spaces before and after them (" 080 " is 80). Anything else, and numbers
// beyond 4294967295, give nothing.
std::optional<std::uint32_t> parseDwordText(const std::wstring& text);

} // namespace velkora::win32
