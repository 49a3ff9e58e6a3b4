// velkora-cli.exe: the port change from the command line, for scripts and deployment
// engines. The exit code says what happened; --json gives one JSON object on stdout.
#include <windows.h>

#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_report.h"
#include "cli/text_report.h"
#include "platform/win32/runtime/delay_load_failure.h"
#include "logic/confirmed_change.h"
#include "platform/error_record.h"
#include "platform/win32/runtime/process_setup.h"
#include "platform/win32/runtime/running_program.h"
#include "platform/win32/services/confirmation_watcher.h"
#include "platform/win32/system_services.h"
#include "velkora_version.h"

namespace {

using namespace velkora::cli;

void out(const std::wstring& text) {
    writeTo(STD_OUTPUT_HANDLE, text);
}
void err(const std::wstring& text) {
    writeTo(STD_ERROR_HANDLE, text);
}

// The object is ASCII: the same bytes to a console and redirected. One run writes one.
bool jsonWritten = false;

void outJson(const Report& report) {
    const std::string json = jsonReport(report);
    out(std::wstring(json.begin(), json.end()) + L"\r\n");
    jsonWritten = true;
}

int finish(const Report& report, bool json) {
    const TextReport text = textReport(report);
    if (json) {
        err(text.out + text.err);
        outJson(report);
    } else {
        out(text.out);
        err(text.err);
    }
    return report.exitCode;
}

// While a change is made, Ctrl+C and Ctrl+Break are ignored, and closing the console, logging
// off or shutting down is held off for as long as the system allows, so that the writes are
// never left half done and a restart of the Remote Desktop service, which cuts the session
// this may run in, is never left half done either.
HANDLE workDone = nullptr;

BOOL WINAPI holdOnConsoleEvents(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        WaitForSingleObject(workDone, INFINITE);
    }
    return TRUE;
}

// Whether the run was asked for JSON, for the reports made outside run().
bool jsonAsked = false;

// A delay-loaded DLL (COM, for the firewall) or one of its functions missing on the first
// call ends the run with the usual report (with --json, the one object) and exit code 1.
FARPROC WINAPI reportFailedDelayLoad(unsigned notification, PDelayLoadInfo info) {
    if (!velkora::win32::isDelayLoadFailure(notification)) {
        return nullptr;
    }
    if (workDone != nullptr) {
        SetEvent(workDone);
    }
    try {
        Report report;
        report.exitCode = ExitCode::Failed;
        report.error = velkora::win32::delayLoadFailure(notification, *info);
        if (jsonWritten) {
            err(textReport(report).err);
        } else {
            finish(report, jsonAsked);
        }
    } catch (...) {
        err(L"错误 51：内部错误\r\n");
    }
    ExitProcess(ExitCode::Failed);
}

// The confirmation watcher, as the service control manager runs it.
int watchAsService() {
    return velkora::win32::runConfirmationWatcherService(
        [](velkora::WatchSignals& signals, bool startedWithCommand) {
            velkora::win32::Win32SystemServices system;
            velkora::ResultLogErrorRecord passedOver(system.services().resultLog);
            const velkora::ErrorRecordInUse recording(passedOver);
            return velkora::watchPendingChange(system.services(), signals, startedWithCommand) ==
                   velkora::WatchEnd::NothingPending;
        });
}

int run(int argc, wchar_t** argv, bool& json) {
    const std::vector<std::wstring> arguments(argv + 1, argv + argc);
    const ParsedArguments parsed = parseArguments(arguments);
    json = parsed.json;
    jsonAsked = parsed.json;
    if (!parsed.invocation) {
        const int exitCode = finish(usageReport(parsed.usageError), parsed.json);
        err(usageText);
        return exitCode;
    }
    switch (parsed.invocation->command) {
    case Command::Help:
        out(usageText);
        return ExitCode::Done;
    case Command::Version:
        out(L"velkora-cli " VELKORA_VERSION_WIDE L"\r\n");
        return ExitCode::Done;
    case Command::Watch:
        return watchAsService();
    default:
        break;
    }
    if (parsed.invocation->confirmSeconds > 0) {
        // The watcher runs a copy of this very program: held from here on, it cannot be
        // renamed and replaced under this process before the copy is made.
        velkora::win32::holdRunningProgram();
    }
    if (holdsOffConsoleEvents(*parsed.invocation)) {
        workDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(holdOnConsoleEvents, TRUE);
    }
    velkora::win32::Win32SystemServices system;
    // What the run goes on without is kept in the result log.
    velkora::ResultLogErrorRecord passedOver(system.services().resultLog);
    const velkora::ErrorRecordInUse recording(passedOver);
    const Report report = runCommand(*parsed.invocation, system.services());
    if (workDone != nullptr) {
        SetEvent(workDone);
    }
    return finish(report, parsed.json);
}

} // namespace

VELKORA_DELAY_LOAD_FAILURE_HOOK(reportFailedDelayLoad)

int wmain(int argc, wchar_t** argv) {
    velkora::win32::restrictDllSearch();
    velkora::win32::terminateOnHeapCorruption();
    bool json = false;
    try {
        return run(argc, argv, json);
    } catch (...) {
        // Whatever else escaped still ends with its report: with --json, as the one object.
        if (workDone != nullptr) {
            SetEvent(workDone);
        }
        try {
            const Report failure = unexpectedFailureReport(std::current_exception());
            if (jsonWritten) {
                err(textReport(failure).err);
                return failure.exitCode;
            }
            return finish(failure, json);
        } catch (...) {
            err(L"错误 51：内部错误\r\n");
        }
    }
    return ExitCode::Failed;
}
