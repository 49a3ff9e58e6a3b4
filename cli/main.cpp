// velkora-cli.exe: the port change from the command line, for scripts and deployment
// engines. The exit code says what happened; --json gives one JSON object on stdout.
#include <windows.h>

#include <new>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_report.h"
#include "cli/text_report.h"
#include "platform/win32/process_setup.h"
#include "platform/win32/win32_platform.h"

namespace {

using namespace velkora::cli;

void out(const std::wstring& text) {
    writeTo(STD_OUTPUT_HANDLE, text);
}
void err(const std::wstring& text) {
    writeTo(STD_ERROR_HANDLE, text);
}

// The object is ASCII: the same bytes to a console and redirected.
void outJson(const Report& report) {
    const std::string json = jsonReport(report);
    out(std::wstring(json.begin(), json.end()) + L"\r\n");
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

// A restart of the Remote Desktop service cuts the session this may run in. While it runs,
// Ctrl+C and Ctrl+Break are ignored, and closing the console, logging off or shutting down
// is held off for as long as the system allows, so that a restart is never left half done.
HANDLE workDone = nullptr;

BOOL WINAPI holdOnConsoleEvents(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        WaitForSingleObject(workDone, INFINITE);
    }
    return TRUE;
}

int run(int argc, wchar_t** argv) {
    const std::vector<std::wstring> arguments(argv + 1, argv + argc);
    const ParsedArguments parsed = parseArguments(arguments);
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
        out(L"velkora-cli " VELKORA_VERSION L"\r\n");
        return ExitCode::Done;
    default:
        break;
    }
    if (parsed.invocation->restart == RestartMode::Service) {
        workDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(holdOnConsoleEvents, TRUE);
    }
    velkora::win32::Win32Platform services;
    const Report report = runCommand(*parsed.invocation, services.platform());
    if (workDone != nullptr) {
        SetEvent(workDone);
    }
    return finish(report, parsed.json);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    velkora::win32::restrictDllSearch();
    velkora::win32::terminateOnHeapCorruption();
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        err(L"错误 7：内存不足\r\n");
    } catch (...) {
        err(L"错误 51：内部错误\r\n");
    }
    return ExitCode::Failed;
}
