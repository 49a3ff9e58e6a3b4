#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velkora {

// "2026-12-07T19:30:05Z"; and back, none for any other text.
std::string utcTimestamp(std::int64_t secondsSince1970);
std::optional<std::int64_t> parseUtcTimestamp(const std::string& text);

} // namespace velkora
