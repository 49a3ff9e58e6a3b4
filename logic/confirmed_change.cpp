#include "logic/confirmed_change.h"

#include <algorithm>

#include "logic/audit_events.h"
#include "logic/journal_text.h"
#include "logic/remote_addresses.h"
#include "logic/remote_desktop_status.h"
#include "logic/undo.h"
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

void writeJournal(SystemServices& system, const PendingChange& change) {
    system.journal.write(journalText(change));
}

AuditRestart auditRestart(PendingRestart restart) {
    return restart == PendingRestart::Service ? AuditRestart::Service : AuditRestart::Computer;
}

// "error N: description (call)", as the result log's lines end.
std::wstring errorText(const PlatformError& error) {
    return errorLogText(error);
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
    PendingChange closing = pending;
    closing.state = PendingState::ClosingOldPort;
    closing.closing = planOldPortClosing(system, *pending.oldPort);
    writeJournal(system, closing);
    try {
        closeOldPort(system, *closing.closing);
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
    // A closing that could not be put back leaves rules changed: an error, not a confirmation.
    if (end.error && end.error->changeLeftBehind()) {
        record(system, end, AuditEvent::PutBackFailed, line, auditErrorOutcome(*end.error));
    } else {
        record(system, end, AuditEvent::Confirmed, line, L"confirmed by " + how);
    }
    return end;
}

// A closing of the old port that was cut off: everything it may have taken away is put back.
PendingEnd reopenUnderLock(SystemServices& system, const PendingChange& pending) {
    PendingEnd end;
    end.change = pending;
    std::wstring line =
        L"reopen " + std::to_wstring(pending.closing->port) + L" (closing cut off): ";
    try {
        reopenOldPort(system, *pending.closing);
        system.journal.remove();
        line += L"done";
    } catch (const PlatformError& failure) {
        end.error = failure;
        line += L"failed, " + errorText(failure);
    }
    record(system, end, end.error ? AuditEvent::PutBackFailed : AuditEvent::OldPortReopened, line,
           end.error ? auditErrorOutcome(*end.error) : std::wstring(L"reopened"));
    return end;
}

const wchar_t* reasonName(PutBackReason reason) {
    switch (reason) {
    case PutBackReason::Asked:
        return L"asked";
    case PutBackReason::Deadline:
        return L"deadline";
    case PutBackReason::Retry:
        return L"retry";
    default:
        return L"command ended";
    }
}

AuditEvent putBackEvent(PutBackReason reason) {
    switch (reason) {
    case PutBackReason::Asked:
        return AuditEvent::RolledBackByCommand;
    case PutBackReason::Deadline:
        return AuditEvent::UnconfirmedAtDeadline;
    default:
        return AuditEvent::RolledBackAfterFailure;
    }
}

// The values and rules as captured, newest first: the rules, then the four values, each tried.
// Raises the first failure; listenerBack says whether the listener's two values are back.
void putBackValuesAndRules(SystemServices& system, const PendingChange& pending,
                           bool& listenerBack) {
    const PortChangeSet paths = buildPortChangeSet(writtenPortText(pending));
    const std::array<FirewallRule, 2> rules = buildFirewallRules(pending.newPort);
    std::optional<PlatformError> failure;
    const auto attempt = [&](const auto& step) {
        try {
            step();
            return true;
        } catch (const PlatformError& error) {
            failure = failure.value_or(error);
            return false;
        }
    };
    for (std::size_t i = pending.rules ? rules.size() : 0; i-- > 0;) {
        attempt([&] { putBackRule(system.firewall, rules[i].name, (*pending.rules)[i]); });
    }
    listenerBack = true;
    for (std::size_t i = paths.size(); i-- > 0;) {
        const bool back =
            attempt([&] { system.registry.restore(paths[i].path, pending.values[i]); });
        listenerBack = listenerBack && (back || i >= 2);
    }
    if (failure) {
        throw *failure;
    }
}

// Once the listener's values are back the change is no longer one to confirm: it stays on
// record as restart-pending until Remote Desktop listens on the old port. A journal that
// cannot be written keeps its state, which is put back too.
void markRestartPending(SystemServices& system, const PendingChange& pending) {
    if (pending.state == PendingState::RestartPending) {
        return;
    }
    PendingChange marked = pending;
    marked.state = PendingState::RestartPending;
    try {
        writeJournal(system, marked);
    } catch (const PlatformError& failure) {
        keepPassedOver(failure);
    }
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
    bool listenerBack = false;
    try {
        putBackValuesAndRules(system, pending, listenerBack);
    } catch (const PlatformError& failure) {
        end.error = failure;
    }
    if (!listenerBack) {
        // The journal stays: the watcher tries again, and nothing is lost meanwhile.
        line += L"put back failed, " + errorText(*end.error);
        record(system, end, AuditEvent::PutBackFailed, line, auditErrorOutcome(*end.error));
        return end;
    }
    markRestartPending(system, pending);
    if (end.error) {
        line += L"values put back, firewall rules not, " + errorText(*end.error) + L", ";
    }

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
        end.error = end.error.value_or(failure);
    } else {
        line += L"listening on " + std::to_wstring(oldPort);
    }
    if (end.error) {
        record(system, end, AuditEvent::PutBackFailed, line, auditErrorOutcome(*end.error));
        return end;
    }
    system.journal.remove();
    record(system, end, putBackEvent(reason), line, L"done");
    return end;
}

// What confirm says of a change that is not one to keep now.
PlatformError notConfirmable(const PendingChange& pending) {
    const std::wstring ports =
        L"端口从 " +
        (pending.oldPort ? std::to_wstring(*pending.oldPort) : std::wstring(L"（无）")) +
        L" 改为 " + std::to_wstring(pending.newPort) + L" 的修改";
    if (pending.state == PendingState::RestartPending) {
        return PlatformError(ErrorNumber::InvalidState,
                             ports + L"正在改回：端口值已恢复，远程桌面服务尚未在原端口上监听，"
                                     L"不能再确认。确认服务每分钟重试一次；运行 velkora-cli "
                                     L"rollback 可立即重试，velkora-cli status 可查看进展。");
    }
    return PlatformError(ErrorNumber::InvalidState,
                         ports + L"仍在进行中（正在写入或重启，尚未验证），不能确认。请等待该命令"
                                 L"结束后再运行 velkora-cli confirm；如该命令已中断，确认服务会"
                                 L"自动改回原端口，也可运行 velkora-cli rollback 立即改回。");
}

} // namespace

std::optional<PendingEnd> confirmPendingChange(SystemServices& system) {
    const HeldChangeLock held(system.changeLock);
    const std::optional<PendingChange> pending = readPendingChange(system.journal);
    if (!pending) {
        return std::nullopt;
    }
    if (pending->state == PendingState::Applying ||
        pending->state == PendingState::RestartPending) {
        throw notConfirmable(*pending);
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
            errorText(failure));
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
            const std::wstring failure = errorText(unreadable.error);
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
