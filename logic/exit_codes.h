#pragma once

#include "platform/error_numbers.h"

namespace velkora {

// What a change came to, as a number: the command line's exit codes, after the conventions of
// msiexec that deployment engines understand; the audit event records it too.
namespace ExitCode {
constexpr int Done = 0;
constexpr int Failed = 1;
constexpr int Usage = 2; // also a port text the entry rules reject
constexpr int AccessDenied = ErrorNumber::AccessDenied;
constexpr int PortInUse = 10;
constexpr int PortReserved = 11;
constexpr int CutsOffSession = 12; // the change would cut off the session that runs it
constexpr int AnotherChangeInProgress = ErrorNumber::AnotherChangeInProgress;
constexpr int RestartStarted = 1641;
constexpr int RestartRolledBack = 13; // the service did not come up on the new port; put back
constexpr int RestartRequired = 3010;
} // namespace ExitCode

// A failure's exit code: access denied (a Win32 code or its HRESULT), another change
// holding the lock, or any other failure.
int exitCodeForError(long number);

} // namespace velkora
