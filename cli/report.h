#pragma once

#include <optional>
#include <string>

#include "logic/firewall_rules.h"
#include "logic/lockout_guard.h"
#include "logic/pending_change.h"
#include "logic/remote_desktop_status.h"
#include "logic/service_restart.h"
#include "platform/platform_error.h"

namespace velkora::cli {

// The exit codes, after the conventions of msiexec that deployment engines understand.
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

enum class RestartState { None, Required, Started, Done };

// What one run found and did; rendered as text lines and as JSON.
struct Report {
    std::string command; // "status", "check", "set"; empty when the arguments were refused
    int exitCode = ExitCode::Done;
    std::optional<long> port;    // status: the listener's; check: the port checked; set: in effect
    std::optional<long> oldPort; // check, set: the listener's port before
    std::optional<long> newPort; // set: the port asked for
    std::optional<bool> changed;
    std::optional<RestartState> restart;
    std::optional<FirewallOutcome> firewall;   // set
    std::optional<PortCheck> check;            // check, set
    std::optional<RemoteDesktopStatus> status; // status
    std::optional<PlatformError> error;
    bool forced = false; // set went on past a port in use or reserved, or a session cut off
    // set --allow-from inside a Remote Desktop session: its client's address, which the list
    // leaves out (refused with CutsOffSession unless forced)
    std::optional<std::wstring> sessionClientAddress;
    std::optional<ServiceRestartOutcome> serviceRestart; // set --restart service
    bool restartedForValuesInPlace = false; // the values held the port before; nothing to undo
    std::optional<long> listenerPortNow;    // after a failed roll-back: the value in effect
    std::optional<PlatformError> logError;  // the result could not be added to the log
    bool interrupted = false; // the change lock was taken over from a holder that had ended
    // set: the only enabled listener moved without Network Level Authentication required
    bool unprotectedListenerMoved = false;
    std::optional<std::wstring> connectWith; // set, done: how a client connects now
    std::optional<PlatformError> auditError; // the audit event could not be recorded
    // status: the change waiting for confirmation; absent when none
    std::optional<PendingChange> pendingChange;
    std::optional<std::int64_t> confirmBy; // set: the change is taken back unless confirmed by
    std::optional<bool> confirmed;         // confirm: a pending change was kept
    std::optional<OldPortClosing> closedOldPort; // confirm, --close-old: what was closed
    std::optional<bool> rolledBack;              // rollback: a pending change was put back
    std::optional<long> reopenedOldPort; // rollback: a closing of this old port, cut off, put back
};

} // namespace velkora::cli
