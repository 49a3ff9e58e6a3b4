#pragma once

#include <string>

#include "cli/report.h"

namespace velkora::cli {

// The one JSON object of --json, on one line without a line end. Every key is there for
// every command; what does not apply or is unknown is null. Characters beyond ASCII are
// escaped (\uXXXX), so the text is the same in UTF-8 and in any code page a caller may read
// it with (PowerShell reads a program's output in the console's code page).
std::string jsonReport(const Report& report);

} // namespace velkora::cli
