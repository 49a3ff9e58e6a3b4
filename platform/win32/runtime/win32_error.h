#pragma once

#include <windows.h>

#include <string>

#include "platform/platform_error.h"

namespace velkora::win32 {

// The system's description of a Win32 code or an HRESULT: Simplified Chinese where the
// system has it, else the system's own language, else a fixed text. No trailing CR LF.
std::wstring systemErrorText(DWORD code);

PlatformError win32Error(DWORD code);
PlatformError hresultError(HRESULT hr);

[[noreturn]] void throwWin32(DWORD code);
[[noreturn]] void throwLastError();

// Raises for anything but ERROR_SUCCESS (the registry functions return their status).
void checkWin32(LSTATUS status);
void checkHr(HRESULT hr);

// Returns the result of a Win32 call that reports failure as null, 0 or FALSE, and raises the
// thread's last error otherwise: with the system's description, or with the caller's own
// words for what failed.
template <typename Result> Result checked(Result result) {
    if (!result) {
        throwLastError();
    }
    return result;
}
template <typename Result> Result checked(Result result, const wchar_t* whatFailed) {
    if (!result) {
        throw PlatformError(static_cast<long>(GetLastError()), whatFailed);
    }
    return result;
}

} // namespace velkora::win32
