#include "logic/port_change_request.h"

#include <chrono>
#include <cstdint>

#include "logic/audit_events.h"
#include "logic/confirmed_change.h"
#include "logic/listener_settings.h"
#include "logic/port_change.h"
#include "logic/port_entry_rules.h"
#include "logic/remote_addresses.h"
#include "logic/restart_command.h"
#include "logic/service_port_change.h"
#include "logic/session_guard.h"

namespace velkora {
namespace {

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

// The entry rules of the window; false (and the result says why) for a rejected text.
bool acceptPortText(const std::wstring& portText, PortChangeResult& result) {
    const ValidationResult verdict = validatePortText(portText);
    if (verdict == ValidationResult::Accepted) {
        return true;
    }
    const RejectionTexts texts = rejectionTexts(verdict);
    result.exitCode = ExitCode::Usage;
    result.error = PlatformError(ErrorNumber::InvalidParameter,
                                 texts.title == texts.prompt ? texts.prompt
                                                             : texts.title + L"：" + texts.prompt);
    return false;
}

// An interrupted change is not built on while the listener's two values disagree, unless the
// administrator says so.
OnInterruptedChange onInterrupted(const PortChangeRequest& request) {
    return request.force ? OnInterruptedChange::GoOn : OnInterruptedChange::RefuseWhenValuesDiffer;
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

// One line for the log that is read after reconnecting, once the change lock is released.
std::wstring restartLogLine(const PortChangeResult& result) {
    const ServiceRestartOutcome& outcome = *result.serviceRestart;
    std::wstring line = L"set " + std::to_wstring(result.newPort.value_or(0)) +
                        L" --restart service: exit " + std::to_wstring(result.exitCode) + L", " +
                        restartResultName(outcome.result) + L", old port " +
                        std::to_wstring(result.oldPort.value_or(0));
    const std::optional<PlatformError>& error =
        outcome.rollbackError ? outcome.rollbackError : outcome.error;
    if (error) {
        line += L", " + errorLogText(*error);
    }
    return line;
}

// The change with a restart of the Remote Desktop service, and what came of the restart.
void changeWithRestartOfService(SystemServices& system, const HeldChangeLock& held,
                                const PortChangeRequest& request, UnconfirmedChange* confirmation,
                                PortChangeResult& result, std::optional<std::wstring>& logLine) {
    ServiceRestartLimits limits;
    limits.verify = std::chrono::seconds(request.verifySeconds);
    const ServicePortChange outcome =
        changePortWithServiceRestart(system, held, request.portText, limits, onInterrupted(request),
                                     request.allowFrom, confirmation);
    result.oldPort = outcome.oldPort;
    result.firewall = outcome.change.firewall;
    result.changed = outcome.change.changed;
    result.port = result.newPort;
    result.serviceRestart = outcome.restart;
    result.restartedForValuesInPlace = outcome.restartedForValuesInPlace;
    if (!result.serviceRestart) {
        return;
    }
    const RestartResult restart = result.serviceRestart->result;
    result.exitCode = exitCodeForRestart(restart);
    logLine = restartLogLine(result);
    if (restart == RestartResult::Verified) {
        result.restart = RestartState::Done;
        return;
    }
    if (restart == RestartResult::NotVerified) {
        result.error = result.serviceRestart->error;
        return;
    }
    // Rolled back, the change is gone, its rules too.
    result.changed = false;
    result.firewall.reset();
    result.port = result.oldPort;
    if (restart == RestartResult::RollbackFailed) {
        result.changed = true; // what could not be put back is still changed
        result.error = result.serviceRestart->rollbackError;
        result.listenerPortNow = outcome.listenerPortNow;
        result.port = result.listenerPortNow;
    }
}

// Whether rules that let in only the addresses asked for would shut out the Remote Desktop
// session this runs in; if so, the result says the peer address left out (empty: none found).
bool cutsOffThisSession(SystemServices& system, const PortChangeRequest& request,
                        std::optional<long> listenerPort, PortChangeResult& result) {
    if (!request.allowFrom) {
        return false;
    }
    const std::optional<std::wstring> peer =
        peerCutOffByAllowFrom(system, *request.allowFrom, listenerPort);
    if (!peer) {
        return false;
    }
    result.sessionClientAddress = peer;
    return true;
}

// Under the change lock: the guards, then the change. False when a guard refused it.
bool makeChange(SystemServices& system, const HeldChangeLock& held,
                const PortChangeRequest& request, PortChangeResult& result,
                std::optional<std::wstring>& logLine) {
    const long port = portNumber(request.portText);
    const std::optional<long> current = listeningPort(system.registry);
    if (cutsOffThisSession(system, request, current, result)) {
        if (!request.force) {
            result.exitCode = ExitCode::CutsOffSession;
            return false;
        }
        result.forced = true;
    }
    result.newPort = port;
    result.oldPort = current;
    result.port = current;
    const std::vector<RemoteDesktopListener> listeners =
        listenersIfReadable(system.info, system.registry);
    result.check = checkPortAvailability(system.ports, port, current, listeners);
    if (exitCodeForCheck(*result.check) != ExitCode::Done) {
        if (!request.force) {
            result.exitCode = exitCodeForCheck(*result.check);
            return false;
        }
        result.forced = true;
    }

    std::optional<UnconfirmedChange> confirmation;
    if (request.confirmSeconds > 0) {
        confirmation.emplace(system, ConfirmationRequest{request.confirmSeconds,
                                                         !request.confirmByCommandOnly,
                                                         request.restart == RestartMode::Service
                                                             ? PendingRestart::Service
                                                             : PendingRestart::Computer,
                                                         request.closeOld});
    }
    UnconfirmedChange* confirmed = confirmation ? &*confirmation : nullptr;
    if (request.restart == RestartMode::Service) {
        changeWithRestartOfService(system, held, request, confirmed, result, logLine);
    } else {
        const PortChangeOutcome outcome =
            applyPortChange(system, held, request.portText, WhenInPlace::LeaveAlone,
                            onInterrupted(request), request.allowFrom, confirmed);
        result.firewall = outcome.firewall;
        result.port = port;
        result.changed = outcome.changed;
        if (outcome.listenerChanged || listenerAwaitsRestart(system, port)) {
            result.restart = RestartState::Required;
            result.exitCode = ExitCode::RestartRequired;
        }
    }
    if (confirmation && confirmation->pending() &&
        confirmation->pending()->state == PendingState::AwaitingConfirmation) {
        result.confirmBy = confirmation->pending()->confirmBy;
        result.oldPort = confirmation->pending()->oldPort; // the listened port, when it moves
    }
    result.unprotectedListenerMoved = current != port && movesTheOnlyListenerWithoutNla(listeners);
    return true;
}

// Once the change is written and the lock released: the computer's restart, as asked. One
// that cannot be started leaves the change in place and pending, and says why.
void restartComputerAsAsked(SystemServices& system, const PortChangeRequest& request,
                            PortChangeResult& result) {
    if (result.restart != RestartState::Required || request.restart != RestartMode::Computer) {
        return;
    }
    try {
        // Only a restart command that ended well has started a restart: shutdown refuses
        // without the privilege, or with one already scheduled (1190).
        system.launcher.launchAndWait(restartCommand, WindowStyle::MinimizedFocus,
                                      std::chrono::seconds(30));
        result.restart = RestartState::Started;
        result.exitCode = ExitCode::RestartStarted;
    } catch (const PlatformError& failure) {
        result.error = failure;
    }
}

// The event a change leaves in the audit log: refused by the guard, applied, confirmed by a
// verified restart, put back, or left half put back. A run that changed nothing or found
// another change in progress leaves none.
std::optional<AuditRecord> auditRecordOf(const PortChangeRequest& request,
                                         const PortChangeResult& result) {
    if (!result.newPort || result.exitCode == ExitCode::AnotherChangeInProgress) {
        return std::nullopt;
    }
    AuditRecord record;
    record.oldPort = result.oldPort;
    record.newPort = *result.newPort;
    record.restart = request.restart == RestartMode::Service    ? AuditRestart::Service
                     : request.restart == RestartMode::Computer ? AuditRestart::Computer
                                                                : AuditRestart::None;
    record.exitCode = result.exitCode;
    record.program = AuditProgram::CommandLine;
    const auto errorOutcome = [](const std::optional<PlatformError>& error) {
        return error ? auditErrorOutcome(*error) : std::wstring(L"-");
    };
    const ServiceRestartOutcome* restart =
        result.serviceRestart ? &*result.serviceRestart : nullptr;
    if (result.exitCode == ExitCode::PortInUse || result.exitCode == ExitCode::PortReserved) {
        record.event = AuditEvent::RefusedByLockoutGuard;
        const std::string finding = portCheckResultName(result.check->result);
        record.outcome.assign(finding.begin(), finding.end());
    } else if (result.confirmBy) {
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
               (result.error && result.error->changeLeftBehind())) {
        record.event = AuditEvent::PutBackFailed;
        record.outcome = errorOutcome(restart ? restart->rollbackError : result.error);
    } else if (result.error && !restart && result.exitCode != ExitCode::RestartRequired) {
        record.event = AuditEvent::RolledBackAfterFailure;
        record.outcome = errorOutcome(result.error);
    } else if (result.changed.value_or(false)) {
        record.event = AuditEvent::Applied;
        record.outcome = result.restart == RestartState::Started ? L"started" : L"required";
    } else {
        return std::nullopt;
    }
    return record;
}

bool succeeded(const PortChangeResult& result) {
    return !result.error &&
           (result.exitCode == ExitCode::Done || result.exitCode == ExitCode::RestartRequired ||
            result.exitCode == ExitCode::RestartStarted);
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

void failWith(PortChangeResult& result, const PlatformError& failure) {
    result.error = failure;
    // A change that could not be put back is never "nothing changed", whatever its number.
    if (failure.changeLeftBehind()) {
        result.changed = true;
    }
    result.exitCode =
        failure.changeLeftBehind() ? ExitCode::Failed : exitCodeForError(failure.number());
}

PortChangeResult checkPortChange(SystemServices& system, const PortChangeRequest& request) {
    PortChangeResult result;
    if (!acceptPortText(request.portText, result)) {
        return result;
    }
    const long port = portNumber(request.portText);
    result.port = port;
    const std::optional<long> current = listeningPort(system.registry);
    result.oldPort = current;
    result.check = checkPortAvailability(system.ports, port, current,
                                         listenersIfReadable(system.info, system.registry));
    result.exitCode = exitCodeForCheck(*result.check);
    return result;
}

PortChangeResult changePort(SystemServices& system, const PortChangeRequest& request) {
    PortChangeResult result;
    result.changed = false;
    result.restart = RestartState::None;
    if (!acceptPortText(request.portText, result)) {
        return result;
    }
    bool made = false;
    std::optional<std::wstring> logLine;
    try {
        const HeldChangeLock held(system.changeLock);
        result.interrupted = held.interrupted();
        made = makeChange(system, held, request, result, logLine);
    } catch (const PlatformError& failure) {
        failWith(result, failure);
    }
    if (made) {
        restartComputerAsAsked(system, request, result);
    }
    if (logLine) {
        // A log that cannot be written is reported, but changes nothing of the result.
        try {
            system.resultLog.append(*logLine);
        } catch (const PlatformError& failure) {
            result.logError = failure;
        }
    }
    if (!succeeded(result)) {
        result.unprotectedListenerMoved = false;
    } else {
        result.connectWith =
            L"mstsc /v:" + system.info.computerName() + L":" + std::to_wstring(*result.newPort);
    }
    if (const std::optional<AuditRecord> record = auditRecordOf(request, result)) {
        result.auditError = recordAuditEvent(system.audit, *record);
    }
    return result;
}

} // namespace velkora
