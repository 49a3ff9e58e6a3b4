#pragma once

#include <windows.h>

#include "tests/common/child_process.h"

namespace velkora::test {

// velkora.exe started as a separate process; ended at the end of the scope if still running.
class VelkoraProcess : public ChildProcess {
public:
    VelkoraProcess();

    // Waits until the program has handled its queued messages and waits for input.
    bool waitForIdle(DWORD timeoutMs) const;

    // The main window (found by its caption), once it exists and, if asked, is visible.
    HWND waitForMainWindow(bool visible, DWORD timeoutMs) const;
};

extern const wchar_t* const mainWindowCaption;

} // namespace velkora::test
