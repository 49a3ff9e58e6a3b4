#include "cli/commands.h"

#include <cstdint>
#include <memory>
#include <new>

#include "logic/lockout_guard.h"
#include "logic/modify_command.h"
#include "logic/port_change.h"
#include "logic/port_entry_rules.h"
#include "logic/captured_port_state.h"
#include "logic/service_restart.h"

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
    report.error = PlatformError(invalidParameter, texts.title == texts.prompt
                                                       ? texts.prompt
                                                       : texts.title + L"：" + texts.prompt);
    return false;
}

void runStatus(Platform& platform, Report& report) {
    report.status = readRemoteDesktopStatus(platform);
    report.port = report.status->port;
}

void runCheck(const Invocation& invocation, Platform& platform, Report& report) {
    if (!acceptPortText(invocation.portText, report)) {
        return;
    }
    const long port = portNumber(invocation.portText);
    report.port = port;
    const std::unique_ptr<ShellObject> shell = platform.shell.create(L"wscript.shell");
    const std::optional<long> current = currentListenerPort(*shell);
    report.oldPort = current;
    report.check = checkPortAvailability(platform.ports, port, current);
    report.exitCode = exitCodeForCheck(*report.check);
}

// After the change is written: the restart as asked. A restart that cannot be started
// leaves the change in place and pending, and says why.
void restartAsAsked(const Invocation& invocation, Platform& platform, Report& report) {
    report.restart = RestartState::Required;
    report.exitCode = ExitCode::RestartRequired;
    if (invocation.restart != RestartMode::Computer) {
        return;
    }
    try {
        platform.launcher.launch(restartCommand, WindowStyle::MinimizedFocus);
        report.restart = RestartState::Started;
        report.exitCode = ExitCode::RestartStarted;
    } catch (const PlatformError& failure) {
        report.error = failure;
    }
}

// Values already in place that the running listener has not taken up: its process listens
// on other ports only. Where that cannot be seen, nothing counts as pending.
bool restartStillPending(Platform& platform, long port) {
    ProbeListenerTable listeners(platform.ports, platform.serviceMonitor);
    return whereServiceListens(platform.services, listeners, remoteDesktopServiceName, port) ==
           ServiceListener::Elsewhere;
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
void logRestartResult(Platform& platform, Report& report) {
    const ServiceRestartOutcome& outcome = *report.serviceRestart;
    std::wstring line = L"set " + std::to_wstring(report.newPort.value_or(0)) +
                        L" --restart service: exit " + std::to_wstring(report.exitCode) + L", " +
                        restartResultName(outcome.result) + L", old port " +
                        std::to_wstring(report.oldPort.value_or(0));
    const std::optional<PlatformError>& error =
        outcome.rollbackError ? outcome.rollbackError : outcome.error;
    if (error) {
        line += L", error " + std::to_wstring(error->number()) + L": " + error->description();
    }
    try {
        platform.resultLog.append(line);
    } catch (const PlatformError& failure) {
        report.logError = failure;
    }
}

// The change and a restart of the Remote Desktop service, all under the change lock: the
// service is checked before anything is written, and the change is put back unless the
// service comes up listening on the new port.
void applyWithRestartOfService(const Invocation& invocation, Platform& platform, ShellObject& shell,
                               long port, Report& report) {
    const HeldChangeLock held(platform.changeLock);
    ProbeListenerTable listeners(platform.ports, platform.serviceMonitor);
    ServiceRestartRequest request;
    request.serviceName = remoteDesktopServiceName;
    request.newPort = port;
    request.oldPort = report.oldPort.value_or(3389); // the listener's default without a value
    request.limits.verify = std::chrono::seconds(invocation.verifySeconds);

    std::optional<PortChangeOutcome> applied;
    const auto applyChange = [&]() -> std::function<void()> {
        CapturedPortState before = CapturedPortState::capture(platform, shell, invocation.portText);
        applied = applyPortChange(platform, shell, invocation.portText, WhenInPlace::LeaveAlone);
        if (!applied->listenerChanged) { // nothing the listener must take up
            return {};
        }
        return [&platform, &shell, before = std::move(before)] {
            before.restore(platform, shell);
        };
    };
    report.serviceRestart = applyWithServiceRestart(platform.services, listeners,
                                                    platform.waitClock, request, applyChange);
    report.firewall = applied->firewall;
    report.changed = applied->changed;
    report.port = port;
    if (!report.serviceRestart) {
        // The values were in place already, maybe written without a restart: the service is
        // restarted unless it listens on the port.
        if (whereServiceListens(platform.services, listeners, request.serviceName, port) ==
            ServiceListener::OnPort) {
            return;
        }
        report.restartedForValuesInPlace = true;
        report.serviceRestart = restartServiceForValuesInPlace(platform.services, listeners,
                                                               platform.waitClock, request);
    }
    const ServiceRestartOutcome& outcome = *report.serviceRestart;
    report.exitCode = exitCodeForRestart(outcome.result);
    logRestartResult(platform, report);
    if (outcome.result == RestartResult::Verified) {
        report.restart = RestartState::Done;
        return;
    }
    if (outcome.result == RestartResult::NotVerified) {
        report.error = outcome.error;
        return;
    }
    // Rolled back, the change is gone, its rules too.
    report.changed = false;
    report.firewall.reset();
    report.port = report.oldPort;
    if (outcome.result == RestartResult::RollbackFailed) {
        report.error = outcome.rollbackError;
        report.listenerPortNow = currentListenerPort(shell);
        report.port = report.listenerPortNow;
    }
}

void runSet(const Invocation& invocation, Platform& platform, Report& report) {
    report.changed = false;
    report.restart = RestartState::None;
    if (!acceptPortText(invocation.portText, report)) {
        return;
    }
    const long port = portNumber(invocation.portText);
    report.newPort = port;
    const std::unique_ptr<ShellObject> shell = platform.shell.create(L"wscript.shell");
    const std::optional<long> current = currentListenerPort(*shell);
    report.oldPort = current;
    report.port = current;
    report.check = checkPortAvailability(platform.ports, port, current);
    if (refusedByGuard(*report.check)) {
        if (!invocation.force) {
            report.exitCode = exitCodeForCheck(*report.check);
            return;
        }
        report.forced = true;
    }

    if (invocation.restart == RestartMode::Service) {
        applyWithRestartOfService(invocation, platform, *shell, port, report);
        return;
    }
    const PortChangeOutcome outcome =
        applyPortChange(platform, *shell, invocation.portText, WhenInPlace::LeaveAlone);
    report.firewall = outcome.firewall;
    report.port = port;
    report.changed = outcome.changed;
    if (outcome.listenerChanged || restartStillPending(platform, port)) {
        restartAsAsked(invocation, platform, report);
    }
}

} // namespace

int exitCodeForError(long number) {
    constexpr long accessDenied = 5;
    constexpr long accessDeniedResult = static_cast<std::int32_t>(0x80070005u); // E_ACCESSDENIED
    if (number == accessDenied || number == accessDeniedResult) {
        return ExitCode::AccessDenied;
    }
    if (number == ExitCode::AnotherChangeInProgress) {
        return ExitCode::AnotherChangeInProgress;
    }
    return ExitCode::Failed;
}

Report runCommand(const Invocation& invocation, Platform& platform) {
    Report report;
    try {
        switch (invocation.command) {
        case Command::Status:
            report.command = "status";
            runStatus(platform, report);
            break;
        case Command::Check:
            report.command = "check";
            runCheck(invocation, platform, report);
            break;
        case Command::Set:
            report.command = "set";
            runSet(invocation, platform, report);
            break;
        default:
            break;
        }
    } catch (const PlatformError& failure) {
        report.error = failure;
        // A change that could not be put back is never "nothing changed", whatever its number.
        report.exitCode =
            failure.changeLeftBehind() ? ExitCode::Failed : exitCodeForError(failure.number());
    }
    return report;
}

Report usageReport(const std::wstring& usageError) {
    Report report;
    report.exitCode = ExitCode::Usage;
    report.error = PlatformError(invalidParameter, usageError);
    return report;
}

Report unexpectedFailureReport(const std::exception_ptr& failure) {
    Report report;
    report.exitCode = ExitCode::Failed;
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        report.error = PlatformError(7, L"内存不足");
    } catch (...) {
        report.error = PlatformError(51, L"内部错误");
    }
    return report;
}

} // namespace velkora::cli
