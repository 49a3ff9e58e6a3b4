#include "platform/win32/shell/launcher.h"

#include <windows.h>

#include <vector>

#include "platform/win32/runtime/program_paths.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

// The first word as CreateProcess reads it: up to the closing quote, or the first blank.
std::wstring firstWord(const std::wstring& commandLine) {
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const std::size_t close = commandLine.find(L'"', 1);
        return commandLine.substr(1, close == std::wstring::npos ? close : close - 1);
    }
    return commandLine.substr(0, commandLine.find_first_of(L" \t"));
}

bool hasExtension(const std::wstring& file) {
    const std::size_t dot = file.rfind(L'.');
    return dot != std::wstring::npos && file.find_first_of(L"\\/", dot) == std::wstring::npos;
}

WORD showCommandOf(int windowStyle) {
    switch (windowStyle) {
    case 0:
        return SW_HIDE;
    case 1:
        return SW_SHOWNORMAL;
    case 2:
        return SW_SHOWMINIMIZED;
    case 3:
        return SW_SHOWMAXIMIZED;
    case 4:
        return SW_SHOWNOACTIVATE;
    case 6:
        return SW_SHOWMINNOACTIVE;
    default:
        throwWin32(ErrorNumber::InvalidParameter);
    }
}

} // namespace

std::wstring programOfCommandLine(const std::wstring& commandLine, const std::wstring& systemDir) {
    std::wstring program = firstWord(commandLine);
    if (program.empty()) {
        throwWin32(ErrorNumber::InvalidParameter);
    }
    const bool bare = program.find_first_of(L"\\/:") == std::wstring::npos;
    if (bare) {
        program = systemDir + L"\\" + program;
    }
    if (!hasExtension(program)) {
        program += L".exe";
    }
    return program;
}

UniqueKernelHandle ProcessLauncher::start(const std::wstring& commandLine, int windowStyle,
                                          unsigned long& processId) {
    const std::wstring systemDir = systemDirectory();
    const std::wstring program = programOfCommandLine(commandLine, systemDir);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommandOf(windowStyle);

    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::vector<wchar_t> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back(L'\0');

    PROCESS_INFORMATION process{};
    checked(CreateProcessW(program.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0,
                           nullptr, systemDir.c_str(), &startup, &process),
            L"CreateProcessW", program);
    UniqueKernelHandle threadHandle(process.hThread);
    processId = process.dwProcessId;
    return UniqueKernelHandle(process.hProcess);
}

unsigned long ProcessLauncher::launch(const std::wstring& commandLine, int windowStyle) {
    unsigned long processId = 0;
    start(commandLine, windowStyle, processId);
    return processId;
}

void ProcessLauncher::launchAndWait(const std::wstring& commandLine, int windowStyle,
                                    std::chrono::milliseconds limit) {
    unsigned long processId = 0;
    const UniqueKernelHandle process = start(commandLine, windowStyle, processId);
    const DWORD waited = WaitForSingleObject(process.get(), static_cast<DWORD>(limit.count()));
    if (waited == WAIT_TIMEOUT) {
        throwWin32(ErrorNumber::Timeout);
    }
    if (waited != WAIT_OBJECT_0) {
        throwLastError(L"WaitForSingleObject");
    }
    DWORD exitCode = 0;
    checked(GetExitCodeProcess(process.get(), &exitCode), L"GetExitCodeProcess");
    if (exitCode != 0) {
        throwWin32(exitCode, commandLine.c_str()); // the program's own exit code
    }
}

} // namespace velkora::win32
