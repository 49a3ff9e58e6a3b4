#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velkora {

// The number that a text of ASCII decimal digits denotes, with optional spaces before and
// after them (" 080 " is 80), as the listener's port and a firewall rule's port are read.
// Anything else, and numbers beyond 4294967295, give nothing.
std::optional<std::uint32_t> parseDwordText(const std::wstring& text);

} // namespace velkora
