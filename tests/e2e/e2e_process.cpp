#include "tests/e2e/e2e_process.h"

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/e2e_windows.h"

namespace velkora::test {

const wchar_t* const mainWindowCaption = L"Harnoq服务器Velkora工具";

VelkoraProcess::VelkoraProcess() {
    std::wstring commandLine = L"\"" + velkoraExe() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    const std::wstring folder = driverFolder();
    if (!CreateProcessW(velkoraExe().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, folder.c_str(), &startup, &info_)) {
        info_ = {};
    }
}

VelkoraProcess::~VelkoraProcess() {
    if (info_.hProcess != nullptr) {
        if (running()) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
}

bool VelkoraProcess::running() const {
    return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool VelkoraProcess::waitForExit(DWORD timeoutMs) const {
    return info_.hProcess != nullptr &&
           WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool VelkoraProcess::waitForIdle(DWORD timeoutMs) const {
    return info_.hProcess != nullptr && WaitForInputIdle(info_.hProcess, timeoutMs) == 0;
}

DWORD VelkoraProcess::exitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

HWND VelkoraProcess::waitForMainWindow(bool visible, DWORD timeoutMs) const {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND window : topLevelWindowsOf(id())) {
                if (textOf(window) == mainWindowCaption && (!visible || IsWindowVisible(window))) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

} // namespace velkora::test
