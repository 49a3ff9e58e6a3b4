#pragma once

#include "cli/arguments.h"
#include "cli/report.h"
#include "platform/platform.h"

namespace velkora::cli {

// Runs status, check or set and says what came of it. Platform errors stop here: they
// become the report's error and exit code.
Report runCommand(const Invocation& invocation, Platform& platform);

// The report for arguments that were refused.
Report usageReport(const std::wstring& usageError);

} // namespace velkora::cli
