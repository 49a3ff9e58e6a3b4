#include "tests/e2e/e2e_process.h"

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/e2e_windows.h"

namespace velkora::test {

const wchar_t* const mainWindowCaption = L"Harnoq服务器Velkora工具";

VelkoraProcess::VelkoraProcess() : ChildProcess(velkoraExe(), L"") {}

bool VelkoraProcess::waitForIdle(DWORD timeoutMs) const {
    return started() && WaitForInputIdle(handle(), timeoutMs) == 0;
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
