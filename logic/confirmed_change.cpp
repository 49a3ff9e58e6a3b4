#include "logic/confirmed_change.h"

#include <algorithm>

#include "logic/audit_events.h"
#include "logic/remote_desktop_status.h"
#include "logic/undo.h"
#include "logic/utf8.h"

namespace velkora {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// The watcher looks again at least this often, so that a changed system time or a journal
// it was not told about is never missed for long.
constexpr milliseconds lookAgainAfter = seconds(60);
constexpr milliseconds retryAfter = seconds(5);

void writeJournal(SystemServices& system, const PendingChange& change) {
    system.journal.write(journalText(change));
}

AuditRestart auditRestart(PendingRestart restart) {
    return restart == PendingRestart::Service ? AuditRestart::Service : AuditRestart::Computer;
}

// "error N: description", as the result log's lines end.
std::wstring errorText(const PlatformError& error) {
    return L"error " + std::to_wstring(error.number()) + L": " + error.description();
}

// A failure to write the line is kept for the caller to say; it changes nothing else.
void appendLog(SystemServices& system, PendingEnd& end, const std::wstring& line) {
    try {
        system.resultLog.append(line);
    } catch (const PlatformError& failure) {
        end.logError = failure;
    }
}

// The line in the result log and the audit event of a confirmed or put-back change.
void record(SystemServices& system, PendingEnd& end, AuditEvent event, const std::wstring& line,
            const std::wstring& outcome) {
    appendLog(system, end, line);
    AuditRecord audit;
    audit.event = event;
    audit.oldPort = end.change.oldPort;
    audit.newPort = end.change.newPort;
    audit.restart = auditRestart(end.change.restart);
    audit.outcome = outcome;
    audit.program = AuditProgram::CommandLine;
    end.auditError = recordAuditEvent(system.audit, audit);
}

// With --close-old, the old port is closed, recorded in the journal first so that a closing cut
// off is put back. A closing that fails is put back at once; its journal stays only when
// putting back failed too.
void closeOldPortOnConfirm(SystemServices& system, const PendingChange& pending, PendingEnd& end) {
    if (!pending.closeOld || !pending.oldPort || *pending.oldPort == pending.newPort) {
        return;
    }
    const std::unique_ptr<ShellObject> shell = system.shell.create(L"wscript.shell");
    PendingChange closing = pending;
    closing.state = PendingState::ClosingOldPort;
    closing.closing = planOldPortClosing(system, *shell, *pending.oldPort);
    writeJournal(system, closing);
    try {
        closeOldPort(system, *shell, *closing.closing);
        end.closed = closing.closing;
    } catch (const PlatformError& failure) {
        end.error = failure;
    }
}

PendingEnd confirmUnderLock(SystemServices& system, const PendingChange& pending, ConfirmedBy by) {
    PendingEnd end;
    end.change = pending;
    closeOldPortOnConfirm(system, pending, end);
    if (!end.error || !end.error->changeLeftBehind()) {
        system.journal.remove();
    }
    const std::wstring how = by == ConfirmedBy::Command ? L"command" : L"remote logon";
    std::wstring line =
        L"confirm: port " + std::to_wstring(pending.newPort) + L" kept (by " + how + L")";
    if (end.closed) {
        line += L", old port " + std::to_wstring(end.closed->port) + L" closed";
    } else if (end.error) {
        line += L", old port not closed, " + errorText(*end.error);
    }
    record(system, end, AuditEvent::Confirmed, line, L"confirmed by " + how);
    return end;
}

// A closing of the old port that was cut off: everything it may have taken away is put back.
PendingEnd reopenUnderLock(SystemServices& system, const PendingChange& pending) {
    PendingEnd end;
    end.change = pending;
    std::wstring line =
        L"reopen " + std::to_wstring(pending.closing->port) + L" (closing cut off): ";
    try {
        reopenOldPort(system, *system.shell.create(L"wscript.shell"), *pending.closing);
        system.journal.remove();
        line += L"done";
    } catch (const PlatformError& failure) {
        end.error = failure;
        line += L"failed, " + errorText(failure);
    }
    appendLog(system, end, line);
    return end;
}

const wchar_t* reasonName(PutBackReason reason) {
    switch (reason) {
    case PutBackReason::Asked:
        return L"asked";
    case PutBackReason::Deadline:
        return L"deadline";
    default:
        return L"command ended";
    }
}

AuditEvent putBackEvent(PutBackReason reason) {
    switch (reason) {
    case PutBackReason::Asked:
        return AuditEvent::RolledBackByCommand;
    case PutBackReason::Deadline:
        return AuditEvent::RolledBackAtDeadline;
    default:
        return AuditEvent::RolledBackAfterFailure;
    }
}

// The values and rules as captured, newest first: the rules, then the four values.
void putBackValuesAndRules(SystemServices& system, const PendingChange& pending) {
    const std::unique_ptr<ShellObject> shell = system.shell.create(L"wscript.shell");
    const PortChangeSet paths = buildPortChangeSet(std::to_wstring(pending.newPort));
    const std::array<FirewallRule, 2> rules = buildFirewallRules(pending.newPort);
    const std::size_t ruleCount = pending.rules ? rules.size() : 0;
    putBackNewestFirst(paths.size() + ruleCount, [&](std::size_t i) {
        if (i < paths.size()) {
            shell->restore(paths[i].path, pending.values[i]);
        } else {
            putBackRule(system.firewall, rules[i - paths.size()].name,
                        (*pending.rules)[i - paths.size()]);
        }
    });
}

PendingEnd putBackUnderLock(SystemServices& system, const PendingChange& pending,
                            PutBackReason reason, const ServiceRestartLimits& limits) {
    if (pending.state == PendingState::ClosingOldPort) {
        return reopenUnderLock(system, pending);
    }
    PendingEnd end;
    end.change = pending;
    const long oldPort = pending.oldPort.value_or(3389); // the listener's default
    std::wstring line = L"rollback " + std::to_wstring(pending.newPort) + L" -> " +
                        std::to_wstring(oldPort) + L" (" + reasonName(reason) + L"): ";
    try {
        putBackValuesAndRules(system, pending);
    } catch (const PlatformError& failure) {
        // The journal stays: the watcher tries again, and nothing is lost meanwhile.
        end.error = failure;
        line += L"put back failed, " + errorText(failure);
        record(system, end, AuditEvent::PutBackFailed, line, auditErrorOutcome(failure));
        return end;
    }
    system.journal.remove();

    ProbeListenerTable listeners(system.ports, system.services);
    if (whereServiceListens(system.services, listeners, remoteDesktopServiceName, oldPort) !=
        ServiceListener::OnPort) {
        ServiceRestartRequest request;
        request.serviceName = remoteDesktopServiceName;
        request.newPort = oldPort; // the port it is to come back on
        request.oldPort = pending.newPort;
        request.limits = limits;
        end.restart =
            restartServiceForValuesInPlace(system.services, listeners, system.clock, request);
    }
    if (end.restart && end.restart->result != RestartResult::Verified) {
        const PlatformError& failure = *end.restart->error;
        line += L"values put back, not listening on the old port, " + errorText(failure);
    } else {
        line += L"listening on " + std::to_wstring(oldPort);
    }
    record(system, end, putBackEvent(reason), line,
           end.restart && end.restart->error ? auditErrorOutcome(*end.restart->error)
                                             : std::wstring(L"done"));
    return end;
}

} // namespace

std::optional<PendingEnd> confirmPendingChange(SystemServices& system) {
    const HeldChangeLock held(system.changeLock);
    const std::optional<PendingChange> pending = readPendingChange(system.journal);
    if (!pending) {
        return std::nullopt;
    }
    return confirmUnderLock(system, *pending, ConfirmedBy::Command);
}

std::optional<PendingEnd> putBackPendingChange(SystemServices& system, PutBackReason reason,
                                               const ServiceRestartLimits& limits) {
    const HeldChangeLock held(system.changeLock);
    const std::optional<PendingChange> pending = readPendingChange(system.journal);
    if (!pending) {
        return std::nullopt;
    }
    return putBackUnderLock(system, *pending, reason, limits);
}

bool logonConfirms(const PendingChange& change) {
    return change.confirmByLogon && change.state == PendingState::AwaitingConfirmation &&
           (change.restart == PendingRestart::Service || change.countedFromBoot);
}

namespace {

// One look at the journal under the change lock: confirms on a logon that proves the change,
// puts it back when it is due. True when nothing is pending any more; otherwise wait is how
// long until the next look.
bool lookAtPendingChange(SystemServices& system, const std::optional<WatchWake>& wake,
                         bool commandRuns, bool afterBoot, milliseconds& wait) {
    const HeldChangeLock held(system.changeLock);
    std::optional<PendingChange> pending = readPendingChange(system.journal);
    if (!pending) {
        return true;
    }
    const std::int64_t now = system.clock.utcSeconds();
    if (afterBoot && pending->restart == PendingRestart::Computer &&
        pending->state == PendingState::AwaitingConfirmation && !pending->countedFromBoot) {
        pending->confirmBy = now + pending->confirmSeconds;
        pending->countedFromBoot = true;
        writeJournal(system, *pending);
    }
    if (wake == WatchWake::RemoteLogon && logonConfirms(*pending)) {
        // A closing of the old port whose put-back failed keeps its journal, and the watcher.
        const PendingEnd end = confirmUnderLock(system, *pending, ConfirmedBy::RemoteLogon);
        return !end.error || !end.error->changeLeftBehind();
    }
    const bool abandoned = (pending->state == PendingState::Applying && !commandRuns) ||
                           pending->state == PendingState::ClosingOldPort;
    if (abandoned || now >= pending->confirmBy) {
        const PutBackReason reason =
            abandoned ? PutBackReason::CommandEnded : PutBackReason::Deadline;
        return !putBackUnderLock(system, *pending, reason, {}).error;
    }
    if (pending->state == PendingState::AwaitingConfirmation) {
        wait = std::min(wait, milliseconds((pending->confirmBy - now) * 1000));
    }
    return false;
}

} // namespace

WatchEnd watchPendingChange(SystemServices& system, WatchSignals& signals,
                            bool startedWithCommand) {
    bool commandRuns = startedWithCommand;
    bool afterBoot = !startedWithCommand;
    std::optional<WatchWake> wake;
    for (;;) {
        milliseconds wait = lookAgainAfter;
        try {
            if (lookAtPendingChange(system, wake, commandRuns, afterBoot, wait)) {
                return WatchEnd::NothingPending;
            }
            afterBoot = false;
        } catch (const PlatformError&) {
            // The command holds the lock while it restarts the service, or the journal cannot
            // be read just now: look again soon; nothing is given up.
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
