#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "logic/listener_settings.h"
#include "logic/pending_change.h"
#include "logic/port_change.h"
#include "logic/service_restart.h"
#include "platform/watch_signals.h"

namespace velkora {

// How a change is to be confirmed.
struct ConfirmationRequest {
    long seconds = 0;    // from when the change stands to its deadline
    bool byLogon = true; // a Remote Desktop logon after the restart confirms it too
    PendingRestart restart = PendingRestart::Service;
    bool closeOld = false; // once confirmed, the old port is closed
};

// The journal and the watcher of one change that takes itself back unless confirmed. Used
// under the change lock, along the steps of the change.
class UnconfirmedChange {
public:
    UnconfirmedChange(SystemServices& system, ConfirmationRequest request)
        : system_(system), request_(request) {}

    // Before the first write: the journal (state applying), then its watcher. When the watcher
    // cannot be started, the journal is removed again before the error travels on.
    void begin(PortChange& change);
    // Before begin: the values hold the new port already and the service listens on this one.
    // The change moves the listener from it: it is the old port, and is put back onto.
    void movesListenerFrom(long listenedPort) { listenedPort_ = listenedPort; }
    bool movesListener() const { return listenedPort_.has_value(); }
    // The change stands (with a restart of the service: verified): the deadline runs from now.
    void awaitConfirmation();
    // The change was put back by the command itself: nothing is left to watch.
    void end() noexcept;

    bool begun() const { return pending_.has_value(); }
    const std::optional<PendingChange>& pending() const { return pending_; }

private:
    SystemServices& system_;
    ConfirmationRequest request_;
    std::optional<long> listenedPort_;
    std::optional<PendingChange> pending_;
};

enum class ConfirmedBy { Command, RemoteLogon };

// What came of a confirmation or a put-back, besides the change itself: the result log's line
// and the audit event are written, and a failure to write either is said, never raised.
struct PendingEnd {
    PendingChange change;
    std::optional<ServiceRestartOutcome> restart; // absent: it listened on the old port already
    std::optional<PlatformError> error;   // what could not be done: a put-back that failed keeps
                                          // the journal; a closing that failed was put back
    std::optional<OldPortClosing> closed; // confirmed with --close-old: what was closed
    std::optional<PlatformError> logError;
    std::optional<PlatformError> auditError;
};

// Keeps the pending change: removes the journal; with --close-old, closes the old port first
// (a closing that fails is put back and said; the change is kept all the same). None when
// nothing was pending. The caller removes the watcher, unless it is the watcher. A change still
// being made, or being put back, is not kept: raises 5023 saying what happens and how it ends.
std::optional<PendingEnd> confirmPendingChange(SystemServices& system);

// Retry: a put-back whose values are back, finished once Remote Desktop listens on the old port.
enum class PutBackReason { Asked, Deadline, CommandEnded, Retry };

// Puts back the four values and both rules as the journal has them; once the listener's values
// are back, whatever the rules did, restarts the Remote Desktop service unless it listens on the
// old port already, and checks that it does. Until it is seen there, the journal stays (state
// restart-pending) and the error says why: the watcher tries again. A closing of the old port
// that was cut off is put back instead (the change itself was confirmed). None when nothing was
// pending.
std::optional<PendingEnd> putBackPendingChange(SystemServices& system, PutBackReason reason,
                                               const ServiceRestartLimits& limits = {});

// Whether a remote logon proves that a client got in on the new port: the change stands, and
// after a restart of the computer, the computer has restarted since.
bool logonConfirms(const PendingChange& change);

// Whether one of the sessions came in through a listener whose port is the new port, from a
// client address that is not a loopback one (nor unknown).
bool logonOnNewPort(const std::vector<RemoteDesktopListener>& listeners,
                    const PendingChange& change, const std::vector<RemoteSessionLogon>& logons);

enum class WatchEnd { NothingPending, Stopped };

// The watcher: until nothing is pending, puts the change back at its deadline, or at once
// when the command that makes it ends before the change stands (or the watcher starts with
// the system to find it so); keeps it on a remote logon that confirms it. Started with the
// system, after a restart of the computer, the deadline counts from now.
WatchEnd watchPendingChange(SystemServices& system, WatchSignals& signals, bool startedWithCommand);

} // namespace velkora
