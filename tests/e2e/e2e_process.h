#pragma once

#include <windows.h>

#include <string>

#include "platform/non_copyable.h"

namespace velkora::test {

// velkora.exe started as a separate process; ended at the end of the scope if still running.
class VelkoraProcess : NonCopyable {
public:
    VelkoraProcess();
    ~VelkoraProcess();

    DWORD id() const { return info_.dwProcessId; }
    bool started() const { return info_.hProcess != nullptr; }
    bool running() const;
    bool waitForExit(DWORD timeoutMs) const;
    // Waits until the program has handled its queued messages and waits for input.
    bool waitForIdle(DWORD timeoutMs) const;
    // The exit code once the process has ended; STILL_ACTIVE while it runs.
    DWORD exitCode() const;

    // The main window (found by its caption), once it exists and, if asked, is visible.
    HWND waitForMainWindow(bool visible, DWORD timeoutMs) const;

private:
    PROCESS_INFORMATION info_{};
};

extern const wchar_t* const mainWindowCaption;

} // namespace velkora::test
