#include "cli/commands.h"

#include <new>

#include "logic/pending_change.h"
#include "logic/port_change_request.h"
#include "logic/remote_desktop_status.h"

namespace velkora::cli {
namespace {

void runStatus(SystemServices& system, Report& report) {
    report.status = readRemoteDesktopStatus(system);
    report.port = report.status->port;
    report.pendingChange = readPendingChange(system.journal);
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
            static_cast<PortChangeResult&>(report) = confirmChange(system);
            break;
        case Command::Rollback:
            report.command = "rollback";
            static_cast<PortChangeResult&>(report) = rollBackChange(system);
            break;
        default:
            break;
        }
    } catch (const PlatformError& failure) {
        failWith(report, failure);
    }
    report.interrupted = report.interrupted || system.changeLock.takenOver();
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
