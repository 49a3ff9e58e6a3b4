#pragma once

#include <string>

#include "cli/report.h"

namespace velkora::cli {

// Utf8 leaves characters beyond ASCII as they are; Ascii escapes them (\uXXXX).
enum class JsonCharacters { Utf8, Ascii };

// The one JSON object of --json, UTF-8, on one line without a line end. Every key is there
// for every command; what does not apply or is unknown is null.
std::string jsonReport(const Report& report, JsonCharacters characters = JsonCharacters::Utf8);

} // namespace velkora::cli
