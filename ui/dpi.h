#pragma once

#include <windows.h>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::ui {

// DPI services of Windows 10 1607 and later, with the Windows 7 equivalents where they are
// missing (there every window has the system DPI).
class Dpi {
public:
    Dpi();

    int forWindow(HWND window) const;
    // The window rectangle for a client rectangle, at that DPI.
    RECT windowRectForClient(RECT client, DWORD style, DWORD exStyle, int dpi) const;
    // The system's message font, sized for that DPI.
    win32::UniqueFont messageFont(int dpi) const;

private:
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

    GetDpiForWindowFn getDpiForWindow_ = nullptr;
    AdjustWindowRectExForDpiFn adjustWindowRectExForDpi_ = nullptr;
    SystemParametersInfoForDpiFn systemParametersInfoForDpi_ = nullptr;
};

} // namespace velkora::ui
