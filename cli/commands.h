#pragma once

#include <exception>

#include "cli/arguments.h"
#include "cli/report.h"
#include "platform/platform.h"

namespace velkora::cli {

// Runs status, check or set and says what came of it. Platform errors stop here: they
// become the report's error and exit code.
Report runCommand(const Invocation& invocation, SystemServices& system);

// The report for arguments that were refused.
Report usageReport(const std::wstring& usageError);

// The report of a failure that is no platform error, numbered and worded as the window
// reports it: out of memory (7) or an internal error (51).
Report unexpectedFailureReport(const std::exception_ptr& failure);

} // namespace velkora::cli
