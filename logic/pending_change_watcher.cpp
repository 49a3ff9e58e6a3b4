#include "logic/confirmed_change.h"

#include <algorithm>

#include "logic/audit_events.h"
#include "logic/pending_change_under_lock.h"
#include "logic/remote_addresses.h"
#include "logic/utf8.h"
#include "platform/error_record.h"

namespace velkora {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// The watcher looks again at least this often, so that a changed system time or a journal
// it was not told about is never missed for long.
constexpr milliseconds lookAgainAfter = seconds(60);
constexpr milliseconds retryAfter = seconds(5);
constexpr milliseconds unreadableLookAgainAfter = seconds(60);

} // namespace

bool logonConfirms(const PendingChange& change) {
    return change.confirmByLogon && change.state == PendingState::AwaitingConfirmation &&
           (change.restart == PendingRestart::Service || change.countedFromBoot);
}

bool logonOnNewPort(const std::vector<RemoteDesktopListener>& listeners,
                    const PendingChange& change, const std::vector<RemoteSessionLogon>& logons) {
    const std::wstring loopback = L"127.0.0.0/8,::1,::ffff:127.0.0.0/104,::/128";
    return std::any_of(logons.begin(), logons.end(), [&](const RemoteSessionLogon& logon) {
        const RemoteDesktopListener* listener = listenerOfSession(listeners, logon.winStation);
        return listener != nullptr && listener->port == change.newPort && logon.clientAddress &&
               isAddressText(*logon.clientAddress) &&
               !remoteAddressListCovers(loopback, *logon.clientAddress);
    });
}

namespace {

// A journal that cannot be read: nothing can be put back until it can.
struct UnreadableJournal {
    PlatformError error;
};

// After the system started again, the deadline's tick belongs to a boot that is over: what is
// left of the deadline on the wall clock is counted on this boot's ticks. After a restart of
// the computer the change asked for, the deadline counts anew from now, once.
void carryDeadlineIntoThisBoot(SystemServices& system, PendingChange& pending, bool booted) {
    const std::int64_t now = system.clock.utcSeconds();
    if (booted && pending.restart == PendingRestart::Computer &&
        pending.state == PendingState::AwaitingConfirmation && !pending.countedFromBoot) {
        pending.confirmBy = now + pending.confirmSeconds;
        pending.countedFromBoot = true;
    }
    pending.bootId = toUtf8(system.info.bootId());
    pending.confirmByTick =
        system.clock.now().count() + std::max<std::int64_t>(pending.confirmBy - now, 0) * 1000;
    writeJournal(system, pending);
}

// One look at the journal under the change lock: confirms on a logon that proves the change,
// puts it back when it is due. True when nothing is pending any more; otherwise wait is how
// long until the next look. A journal of the first format names no boot: a watcher the system
// started, rather than the command, takes itself for started with the system.
bool lookAtPendingChange(SystemServices& system, WatchSignals& signals,
                         const std::optional<WatchWake>& wake, bool commandRuns,
                         bool startedBySystem, milliseconds& wait) {
    const HeldChangeLock held(system.changeLock);
    std::optional<PendingChange> pending;
    try {
        pending = readPendingChange(system.journal);
    } catch (const PlatformError& failure) {
        throw UnreadableJournal{failure};
    }
    if (!pending) {
        return true;
    }
    const bool bootKnown = !pending->bootId.empty();
    const bool booted =
        bootKnown ? pending->bootId != toUtf8(system.info.bootId()) : startedBySystem;
    if (booted || !bootKnown) {
        carryDeadlineIntoThisBoot(system, *pending, booted);
    }
    if (wake == WatchWake::RemoteLogon && logonConfirms(*pending) &&
        logonOnNewPort(listenersIfReadable(system.info, system.registry), *pending,
                       signals.remoteLogons())) {
        // A closing of the old port whose put-back failed keeps its journal, and the watcher.
        const PendingEnd end = confirmUnderLock(system, *pending, ConfirmedBy::RemoteLogon);
        return !end.error || !end.error->changeLeftBehind();
    }
    const std::int64_t left = pending->confirmByTick - system.clock.now().count();
    const bool abandoned = (pending->state == PendingState::Applying && !commandRuns) ||
                           pending->state == PendingState::ClosingOldPort;
    const bool restartPending = pending->state == PendingState::RestartPending;
    if (abandoned || restartPending || left <= 0) {
        const PutBackReason reason = restartPending ? PutBackReason::Retry
                                     : abandoned    ? PutBackReason::CommandEnded
                                                    : PutBackReason::Deadline;
        return !putBackUnderLock(system, *pending, reason, {}).error;
    }
    if (pending->state == PendingState::AwaitingConfirmation) {
        wait = std::min(wait, milliseconds(left));
    }
    return false;
}

// Said once for each failure, in the result log and as an error event; then the watcher looks
// again at a slower pace, for as long as it takes.
void reportUnreadableJournal(SystemServices& system, const PlatformError& failure) {
    try {
        system.resultLog.append(
            L"watch: journal unreadable (nothing is put back until it can be read), " +
            errorLogText(failure));
    } catch (const PlatformError& logFailure) {
        keepPassedOver(logFailure); // the event below says it all the same
    }
    AuditRecord audit;
    audit.event = AuditEvent::JournalUnreadable;
    audit.outcome = auditErrorOutcome(failure);
    audit.exitCode = 1;
    audit.program = AuditProgram::CommandLine;
    recordAuditEvent(system.audit, audit);
}

} // namespace

WatchEnd watchPendingChange(SystemServices& system, WatchSignals& signals,
                            bool startedWithCommand) {
    bool commandRuns = startedWithCommand;
    bool startedBySystem = !startedWithCommand;
    std::optional<WatchWake> wake;
    std::optional<std::wstring> unreadableSaid;
    for (;;) {
        milliseconds wait = lookAgainAfter;
        try {
            if (lookAtPendingChange(system, signals, wake, commandRuns, startedBySystem, wait)) {
                return WatchEnd::NothingPending;
            }
            startedBySystem = false;
            unreadableSaid.reset();
        } catch (const UnreadableJournal& unreadable) {
            const std::wstring failure = errorLogText(unreadable.error);
            if (unreadableSaid != failure) {
                reportUnreadableJournal(system, unreadable.error);
                unreadableSaid = failure;
            }
            wait = unreadableLookAgainAfter;
        } catch (const PlatformError& failure) {
            // The command holds the lock while it restarts the service: look again soon.
            keepPassedOver(failure);
            wait = retryAfter;
        }
        wake = signals.wait(wait);
        if (wake == WatchWake::Stop) {
            return WatchEnd::Stopped;
        }
        if (wake == WatchWake::CommandEnded) {
            commandRuns = false;
        }
    }
}

} // namespace velkora
