#include "logic/confirmed_change.h"

#include "logic/audit_events.h"
#include "logic/journal_text.h"
#include "logic/pending_change_under_lock.h"
#include "logic/remote_desktop_status.h"
#include "logic/undo.h"
#include "logic/utf8.h"
#include "platform/error_record.h"

namespace velkora {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

AuditRestart auditRestart(PendingRestart restart) {
    return restart == PendingRestart::Service ? AuditRestart::Service : AuditRestart::Computer;
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

} // namespace

void writeJournal(SystemServices& system, const PendingChange& change) {
    system.journal.write(journalText(change));
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
        line += L", old port not closed, " + errorLogText(*end.error);
    }
    // A closing that could not be put back leaves rules changed: an error, not a confirmation.
    if (end.error && end.error->changeLeftBehind()) {
        record(system, end, AuditEvent::PutBackFailed, line, auditErrorOutcome(*end.error));
    } else {
        record(system, end, AuditEvent::Confirmed, line, L"confirmed by " + how);
    }
    return end;
}

namespace {

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
        line += L"failed, " + errorLogText(failure);
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

} // namespace

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
        line += L"put back failed, " + errorLogText(*end.error);
        record(system, end, AuditEvent::PutBackFailed, line, auditErrorOutcome(*end.error));
        return end;
    }
    markRestartPending(system, pending);
    if (end.error) {
        line += L"values put back, firewall rules not, " + errorLogText(*end.error) + L", ";
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
        line += L"values put back, not listening on the old port, " + errorLogText(failure);
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

namespace {

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

} // namespace velkora
