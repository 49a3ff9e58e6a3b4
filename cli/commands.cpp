#include "cli/commands.h"

#include <new>

#include "logic/confirmed_change.h"
#include "logic/port_change_request.h"
#include "logic/remote_desktop_status.h"

namespace velkora::cli {
namespace {

void runStatus(SystemServices& system, Report& report) {
    report.status = readRemoteDesktopStatus(system);
    report.port = report.status->port;
    report.pendingChange = readPendingChange(system.journal);
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

Report runCommand(const Invocation& invocation, SystemServices& system) {
    Report report;
    try {
        switch (invocation.command) {
        case Command::Status:
            report.command = "status";
            runStatus(system, report);
            break;
        case Command::Check:
            report.command = "check";
            static_cast<PortChangeResult&>(report) = checkPortChange(system, invocation);
            break;
        case Command::Set:
            report.command = "set";
            static_cast<PortChangeResult&>(report) = changePort(system, invocation);
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
    report.interrupted = report.interrupted || system.changeLock.takenOver();
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
