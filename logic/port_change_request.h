#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "logic/close_old_port.h"
#include "logic/exit_codes.h"
#include "logic/firewall_rules.h"
#include "logic/lockout_guard.h"
#include "logic/service_restart.h"
#include "platform/platform_error.h"

namespace velkora {

enum class RestartMode { None, Computer, Service };

// One change of the port, as asked.
struct PortChangeRequest {
    std::wstring portText; // exactly as given, leading zeros kept
    RestartMode restart = RestartMode::None;
    bool force = false;                // past a port in use or reserved, a session cut off, or
                                       // values an interrupted change left disagreeing
    long verifySeconds = 60;           // --restart service: how long to wait for the listener
    long confirmSeconds = 0;           // taken back by itself unless confirmed within; 0: not asked
    bool confirmByCommandOnly = false; // a remote logon does not confirm it
    bool closeOld = false;             // once confirmed, the old port is closed
    // The remote addresses the rules let in, in the firewall's own text; none: any
    std::optional<std::wstring> allowFrom;

    bool operator==(const PortChangeRequest&) const = default;
};

enum class RestartState { None, Required, Started, Done };

// What a change (or a check of its port, or the confirmation or put-back of a pending change)
// found and did.
struct PortChangeResult {
    int exitCode = ExitCode::Done;
    std::optional<long> port;    // the port checked; after a change, the one in effect
    std::optional<long> oldPort; // the listener's port before
    std::optional<long> newPort; // the port asked for
    std::optional<bool> changed;
    std::optional<RestartState> restart;
    std::optional<FirewallOutcome> firewall;
    std::optional<PortCheck> check;
    std::optional<PlatformError> error;
    bool forced = false; // went on past a port in use or reserved, or a session cut off
    // --allow-from inside a Remote Desktop session: its client's address, which the list
    // leaves out (refused with CutsOffSession unless forced)
    std::optional<std::wstring> sessionClientAddress;
    std::optional<ServiceRestartOutcome> serviceRestart; // --restart service
    bool restartedForValuesInPlace = false; // the values held the port before; nothing to undo
    std::optional<long> listenerPortNow;    // after a failed roll-back: the value in effect
    std::optional<PlatformError> logError;  // the result could not be added to the log
    bool interrupted = false; // the change lock was taken over from a holder that had ended
    // the only enabled listener moved without Network Level Authentication required
    bool unprotectedListenerMoved = false;
    std::optional<std::wstring> connectWith;     // done: how a client connects now
    std::optional<PlatformError> auditError;     // the audit event could not be recorded
    std::optional<std::int64_t> confirmBy;       // the change is taken back unless confirmed by
    std::optional<bool> confirmed;               // confirm: a pending change was kept
    std::optional<OldPortClosing> closedOldPort; // confirm, --close-old: what was closed
    std::optional<bool> rolledBack;              // rollback: a pending change was put back
    std::optional<long> reopenedOldPort; // rollback: a closing of this old port, cut off, put back
};

// A failure as the result's error, with its exit code.
void failWith(PortChangeResult& result, const PlatformError& failure);

// Checks the port as a change to it would: the entry rules, then the lockout guard.
PortChangeResult checkPortChange(SystemServices& system, const PortChangeRequest& request);

// Keeps the pending change (and with --close-old closes its old port), then removes its
// watcher; a closing that failed and could not be put back is left to the watcher. A failure is
// the result's error, never raised.
PortChangeResult confirmChange(SystemServices& system);

// Puts the pending change back as asked, then removes its watcher; a put-back that failed keeps
// both, for the watcher to try again. A failure is the result's error, never raised.
PortChangeResult rollBackChange(SystemServices& system);

// The whole change, under the change lock taken once: the entry rules; the session guard and
// the lockout guard (each refuses unless forced); the change itself with the restart asked for
// (the service's, verified and put back unless it listens on the new port; the computer's,
// once the change is written and the lock released), with its confirmation if asked; then the
// result log's line for a restart of the service, and the audit event. A failure is the
// result's error, never raised.
PortChangeResult changePort(SystemServices& system, const PortChangeRequest& request);

} // namespace velkora
