#include "cli/commands.h"

#include <cstdint>
#include <memory>

#include "logic/lockout_guard.h"
#include "logic/modify_command.h"
#include "logic/port_change.h"
#include "logic/port_entry_rules.h"

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

    const PortChangeOutcome outcome =
        applyPortChange(platform, *shell, invocation.portText, WhenInPlace::LeaveAlone);
    report.firewall = outcome.firewall;
    report.port = port;
    report.changed = outcome.changed;
    if (outcome.listenerChanged) {
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
        report.exitCode = exitCodeForError(failure.number());
    }
    return report;
}

Report usageReport(const std::wstring& usageError) {
    Report report;
    report.exitCode = ExitCode::Usage;
    report.error = PlatformError(invalidParameter, usageError);
    return report;
}

} // namespace velkora::cli
