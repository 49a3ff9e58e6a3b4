#pragma once

#include <string>

#include "cli/report.h"

namespace velkora::cli {

// The human lines of a run, in the voice of the window: results for stdout, warnings and
// errors for stderr. Every line ends with CR LF.
struct TextReport {
    std::wstring out;
    std::wstring err;
};

TextReport textReport(const Report& report);

} // namespace velkora::cli
