#include "cli/commands.h"

#include <cstdint>
#include <memory>
#include <new>

#include "logic/audit_events.h"
#include "logic/confirmed_change.h"
#include "logic/listener_settings.h"
#include "logic/lockout_guard.h"
#include "logic/port_change.h"
#include "logic/port_entry_rules.h"
#include "logic/remote_addresses.h"
#include "logic/restart_command.h"
#include "logic/service_restart.h"
#include "logic/session_guard.h"

namespace velkora::cli {
namespace {

bool refusedByGuard(const PortCheck& check) {
    return check.result == PortCheckResult::InUse || check.result == PortCheckResult::Reserved;
}

int exitCodeForCheck(const PortCheck& check) {
    switch (check.result) {
    case PortCheckResult::InUse:
        return ExitCode::PortInUse;
    case PortCheckResult::Reserved:
        return ExitCode::PortReserved;
    default:
        return ExitCode::Done;
    }
}

// The entry rules of the window; false (and the report says why) for a rejected text.
bool acceptPortText(const std::wstring& portText, Report& report) {
    const ValidationResult verdict = validatePortText(portText);
    if (verdict == ValidationResult::Accepted) {
        return true;
    }
    const RejectionTexts texts = rejectionTexts(verdict);
    report.exitCode = ExitCode::Usage;
    report.error = PlatformError(ErrorNumber::InvalidParameter,
                                 texts.title == texts.prompt ? texts.prompt
                                                             : texts.title + L"：" + texts.prompt);
    return false;
}

void runStatus(SystemServices& system, Report& report) {
    report.status = readRemoteDesktopStatus(system);
    report.port = report.status->port;
    report.pendingChange = readPendingChange(system.journal);
}

void runCheck(const Invocation& invocation, SystemServices& system, Report& report) {
    if (!acceptPortText(invocation.portText, report)) {
        return;
    }
    const long port = portNumber(invocation.portText);
    report.port = port;
    const std::unique_ptr<ShellObject> shell = system.shell.create(L"wscript.shell");
    const std::optional<long> current = listeningPort(*shell);
    report.oldPort = current;
    report.check = checkPortAvailability(system.ports, port, current,
                                         listenersIfReadable(system.info, *shell));
    report.exitCode = exitCodeForCheck(*report.check);
}

// After the change is written: the restart as asked. A restart that cannot be started
// leaves the change in place and pending, and says why.
void restartAsAsked(const Invocation& invocation, SystemServices& system, Report& report) {
    report.restart = RestartState::Required;
    report.exitCode = ExitCode::RestartRequired;
    if (invocation.restart != RestartMode::Computer) {
        return;
    }
    try {
        // Only a restart command that ended well has started a restart: shutdown refuses
        // without the privilege, or with one already scheduled (1190).
        system.launcher.launchAndWait(restartCommand, WindowStyle::MinimizedFocus,
                                      std::chrono::seconds(30));
        report.restart = RestartState::Started;
        report.exitCode = ExitCode::RestartStarted;
    } catch (const PlatformError& failure) {
        report.error = failure;
    }
}

int exitCodeForRestart(RestartResult result) {
    switch (result) {
    case RestartResult::Verified:
        return ExitCode::Done;
    case RestartResult::RolledBack:
        return ExitCode::RestartRolledBack;
    default:
        return ExitCode::Failed;
    }
}

const wchar_t* restartResultName(RestartResult result) {
    switch (result) {
    case RestartResult::Verified:
        return L"verified";
    case RestartResult::RolledBack:
        return L"rolled back";
    case RestartResult::NotVerified:
        return L"not verified, nothing to put back";
    default:
        return L"ROLLBACK FAILED";
    }
}

// One line for the log that is read after reconnecting; a log that cannot be written is
// reported, but changes nothing of the result.
void logRestartResult(SystemServices& system, Report& report) {
    const ServiceRestartOutcome& outcome = *report.serviceRestart;
    std::wstring line = L"set " + std::to_wstring(report.newPort.value_or(0)) +
                        L" --restart service: exit " + std::to_wstring(report.exitCode) + L", " +
                        restartResultName(outcome.result) + L", old port " +
                        std::to_wstring(report.oldPort.value_or(0));
    const std::optional<PlatformError>& error =
        outcome.rollbackError ? outcome.rollbackError : outcome.error;
    if (error) {
        line += L", " + errorLogText(*error);
    }
    try {
        system.resultLog.append(line);
    } catch (const PlatformError& failure) {
        report.logError = failure;
    }
}

// An interrupted change is not built on while the listener's two values disagree, unless the
// administrator says so.
OnInterruptedChange onInterrupted(const Invocation& invocation) {
    return invocation.force ? OnInterruptedChange::GoOn
                            : OnInterruptedChange::RefuseWhenValuesDiffer;
}

// The change lock, remembering whether it was taken over from a holder that had ended: the
// report says so, whatever came of the run.
class ObservedChangeLock final : public ChangeLock {
public:
    explicit ObservedChangeLock(ChangeLock& lock) : lock_(lock) {}
    bool acquire() override {
        const bool abandoned = lock_.acquire();
        interrupted_ = interrupted_ || abandoned;
        return abandoned;
    }
    void release() noexcept override { lock_.release(); }
    bool interrupted() const { return interrupted_; }

private:
    ChangeLock& lock_;
    bool interrupted_ = false;
};

// The change and a restart of the Remote Desktop service; the result goes to the log once the
// change lock is released.
void applyWithRestartOfService(const Invocation& invocation, SystemServices& system,
                               ConfirmedChange* confirmation, Report& report) {
    ServiceRestartLimits limits;
    limits.verify = std::chrono::seconds(invocation.verifySeconds);
    const ServicePortChange outcome = changePortWithServiceRestart(
        system, *system.shell.create(L"wscript.shell"), invocation.portText, limits,
        onInterrupted(invocation), invocation.allowFrom, confirmation);
    report.oldPort = outcome.oldPort;
    report.firewall = outcome.change.firewall;
    report.changed = outcome.change.changed;
    report.port = report.newPort;
    report.serviceRestart = outcome.restart;
    report.restartedForValuesInPlace = outcome.restartedForValuesInPlace;
    if (!report.serviceRestart) {
        return;
    }
    const RestartResult result = report.serviceRestart->result;
    report.exitCode = exitCodeForRestart(result);
    logRestartResult(system, report);
    if (result == RestartResult::Verified) {
        report.restart = RestartState::Done;
        return;
    }
    if (result == RestartResult::NotVerified) {
        report.error = report.serviceRestart->error;
        return;
    }
    // Rolled back, the change is gone, its rules too.
    report.changed = false;
    report.firewall.reset();
    report.port = report.oldPort;
    if (result == RestartResult::RollbackFailed) {
        report.changed = true; // what could not be put back is still changed
        report.error = report.serviceRestart->rollbackError;
        report.listenerPortNow = outcome.listenerPortNow;
        report.port = report.listenerPortNow;
    }
}

// Whether rules that let in only the addresses asked for would shut out the Remote Desktop
// session this runs in; if so, the report says the peer address left out (empty: none found).
bool cutsOffThisSession(const Invocation& invocation, SystemServices& system,
                        std::optional<long> listenerPort, Report& report) {
    if (!invocation.allowFrom) {
        return false;
    }
    const std::optional<std::wstring> peer =
        peerCutOffByAllowFrom(system, *invocation.allowFrom, listenerPort);
    if (!peer) {
        return false;
    }
    report.sessionClientAddress = peer;
    return true;
}

void runSet(const Invocation& invocation, SystemServices& system, Report& report) {
    report.changed = false;
    report.restart = RestartState::None;
    if (!acceptPortText(invocation.portText, report)) {
        return;
    }
    const long port = portNumber(invocation.portText);
    const std::unique_ptr<ShellObject> shell = system.shell.create(L"wscript.shell");
    const std::optional<long> current = listeningPort(*shell);
    if (cutsOffThisSession(invocation, system, current, report)) {
        if (!invocation.force) {
            report.exitCode = ExitCode::CutsOffSession;
            return;
        }
        report.forced = true;
    }
    report.newPort = port;
    report.oldPort = current;
    report.port = current;
    const std::vector<RemoteDesktopListener> listeners = listenersIfReadable(system.info, *shell);
    report.check = checkPortAvailability(system.ports, port, current, listeners);
    if (refusedByGuard(*report.check)) {
        if (!invocation.force) {
            report.exitCode = exitCodeForCheck(*report.check);
            return;
        }
        report.forced = true;
    }

    std::optional<ConfirmedChange> confirmation;
    if (invocation.confirmSeconds > 0) {
        confirmation.emplace(system, ConfirmationRequest{invocation.confirmSeconds,
                                                         !invocation.confirmByCommandOnly,
                                                         invocation.restart == RestartMode::Service
                                                             ? PendingRestart::Service
                                                             : PendingRestart::Computer,
                                                         invocation.closeOld});
    }
    ConfirmedChange* confirmed = confirmation ? &*confirmation : nullptr;
    if (invocation.restart == RestartMode::Service) {
        applyWithRestartOfService(invocation, system, confirmed, report);
    } else {
        const PortChangeOutcome outcome =
            applyPortChange(system, *shell, invocation.portText, WhenInPlace::LeaveAlone,
                            onInterrupted(invocation), invocation.allowFrom, confirmed);
        report.firewall = outcome.firewall;
        report.port = port;
        report.changed = outcome.changed;
        if (outcome.listenerChanged || restartStillPending(system, port)) {
            restartAsAsked(invocation, system, report);
        }
    }
    if (confirmation && confirmation->pending() &&
        confirmation->pending()->state == PendingState::AwaitingConfirmation) {
        report.confirmBy = confirmation->pending()->confirmBy;
        report.oldPort = confirmation->pending()->oldPort; // the listened port, when it moves
    }
    const bool done = !report.error && (report.exitCode == ExitCode::Done ||
                                        report.exitCode == ExitCode::RestartRequired ||
                                        report.exitCode == ExitCode::RestartStarted);
    if (!done) {
        return;
    }
    report.unprotectedListenerMoved = current != port && movesTheOnlyListenerWithoutNla(listeners);
    report.connectWith = L"mstsc /v:" + system.info.computerName() + L":" + std::to_wstring(port);
}

// What ended a pending change, in the report: the ports, and what could not be done.
void reportPendingEnd(const PendingEnd& end, Report& report) {
    report.oldPort = end.change.oldPort;
    report.newPort = end.change.newPort;
    report.logError = end.logError;
    report.auditError = end.auditError;
}

void runConfirm(SystemServices& system, Report& report) {
    const std::optional<PendingEnd> end = confirmPendingChange(system);
    report.confirmed = end.has_value();
    if (!end) {
        return;
    }
    reportPendingEnd(*end, report);
    report.port = end->change.newPort;
    report.closedOldPort = end->closed;
    if (end->error) {
        report.error = end->error; // the change is kept; the old port is as it was
        report.exitCode = ExitCode::Failed;
        if (end->error->changeLeftBehind()) {
            return; // the journal stays: the watcher puts the closing back
        }
    }
    system.watcher.remove();
}

void runRollback(SystemServices& system, Report& report) {
    const std::optional<PendingEnd> end = putBackPendingChange(system, PutBackReason::Asked);
    report.rolledBack = end && !end->error;
    if (!end) {
        return;
    }
    reportPendingEnd(*end, report);
    if (end->error) {
        report.changed = true;
        report.error = end->error;
        report.exitCode = ExitCode::Failed;
        return;
    }
    if (end->change.closing) {
        // A closing cut off was put back: the change itself stays, and so does its port.
        report.reopenedOldPort = end->change.closing->port;
        report.port = end->change.newPort;
        system.watcher.remove();
        return;
    }
    report.port = end->change.oldPort;
    system.watcher.remove();
    if (end->restart && end->restart->result != RestartResult::Verified) {
        report.error = end->restart->error;
        report.exitCode = ExitCode::Failed;
    }
}

} // namespace

int exitCodeForError(long number) {
    if (number == ErrorNumber::AccessDenied || number == ErrorNumber::AccessDeniedResult) {
        return ExitCode::AccessDenied;
    }
    if (number == ErrorNumber::AnotherChangeInProgress) {
        return ExitCode::AnotherChangeInProgress;
    }
    return ExitCode::Failed;
}

// The event a set leaves in the audit log: refused by the guard, applied, confirmed by a
// verified restart, put back, or left half put back. A run that changed nothing, found
// another change in progress or was not understood leaves none.
static std::optional<AuditRecord> auditRecordOf(const Invocation& invocation,
                                                const Report& report) {
    if (report.command != "set" || !report.newPort ||
        report.exitCode == ExitCode::AnotherChangeInProgress) {
        return std::nullopt;
    }
    AuditRecord record;
    record.oldPort = report.oldPort;
    record.newPort = *report.newPort;
    record.restart = invocation.restart == RestartMode::Service    ? AuditRestart::Service
                     : invocation.restart == RestartMode::Computer ? AuditRestart::Computer
                                                                   : AuditRestart::None;
    record.exitCode = report.exitCode;
    record.program = AuditProgram::CommandLine;
    const auto errorOutcome = [](const std::optional<PlatformError>& error) {
        return error ? auditErrorOutcome(*error) : std::wstring(L"-");
    };
    const ServiceRestartOutcome* restart =
        report.serviceRestart ? &*report.serviceRestart : nullptr;
    if (report.exitCode == ExitCode::PortInUse || report.exitCode == ExitCode::PortReserved) {
        record.event = AuditEvent::RefusedByLockoutGuard;
        const std::string finding = portCheckResultName(report.check->result);
        record.outcome.assign(finding.begin(), finding.end());
    } else if (report.confirmBy) {
        record.event = AuditEvent::Applied;
        record.outcome = L"pending";
    } else if (restart && restart->result == RestartResult::Verified) {
        record.event = AuditEvent::Confirmed;
        record.outcome = L"done";
    } else if (restart && restart->result == RestartResult::RolledBack) {
        record.event =
            restart->error ? AuditEvent::RolledBackAfterFailure : AuditEvent::RolledBackAtDeadline;
        record.outcome = errorOutcome(restart->error);
    } else if ((restart && restart->result == RestartResult::RollbackFailed) ||
               (report.error && report.error->changeLeftBehind())) {
        record.event = AuditEvent::PutBackFailed;
        record.outcome = errorOutcome(restart ? restart->rollbackError : report.error);
    } else if (report.error && !restart && report.exitCode != ExitCode::RestartRequired) {
        record.event = AuditEvent::RolledBackAfterFailure;
        record.outcome = errorOutcome(report.error);
    } else if (report.changed.value_or(false)) {
        record.event = AuditEvent::Applied;
        record.outcome = report.restart == RestartState::Started ? L"started" : L"required";
    } else {
        return std::nullopt;
    }
    return record;
}

// The run itself, on services whose change lock is observed.
static Report runObserved(const Invocation& invocation, SystemServices& system) {
    Report report;
    try {
        switch (invocation.command) {
        case Command::Status:
            report.command = "status";
            runStatus(system, report);
            break;
        case Command::Check:
            report.command = "check";
            runCheck(invocation, system, report);
            break;
        case Command::Set:
            report.command = "set";
            runSet(invocation, system, report);
            break;
        case Command::Confirm:
            report.command = "confirm";
            runConfirm(system, report);
            break;
        case Command::Rollback:
            report.command = "rollback";
            runRollback(system, report);
            break;
        default:
            break;
        }
    } catch (const PlatformError& failure) {
        report.error = failure;
        // A change that could not be put back is never "nothing changed", whatever its number.
        if (failure.changeLeftBehind()) {
            report.changed = true;
        }
        report.exitCode =
            failure.changeLeftBehind() ? ExitCode::Failed : exitCodeForError(failure.number());
    }
    return report;
}

Report runCommand(const Invocation& invocation, SystemServices& services) {
    ObservedChangeLock lock(services.changeLock);
    SystemServices system{services.shell, services.launcher, services.firewall, services.ports,
                          lock,           services.services, services.clock,    services.resultLog,
                          services.info,  services.audit,    services.journal,  services.watcher};
    Report report = runObserved(invocation, system);
    report.interrupted = lock.interrupted();
    if (const std::optional<AuditRecord> record = auditRecordOf(invocation, report)) {
        report.auditError = recordAuditEvent(services.audit, *record);
    }
    return report;
}

Report usageReport(const std::wstring& usageError) {
    Report report;
    report.exitCode = ExitCode::Usage;
    report.error = PlatformError(ErrorNumber::InvalidParameter, usageError);
    return report;
}

Report unexpectedFailureReport(const std::exception_ptr& failure) {
    Report report;
    report.exitCode = ExitCode::Failed;
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        report.error = PlatformError(ErrorNumber::OutOfMemory, L"内存不足");
    } catch (...) {
        report.error = PlatformError(ErrorNumber::InternalError, L"内部错误");
    }
    return report;
}

} // namespace velkora::cli
