#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/platform_error.h"

namespace velkora::win32 {

// The system's description of a Win32 code or an HRESULT: Simplified Chinese where the
// system has it, else the system's own language, else a fixed text. No trailing CR LF.
std::wstring systemErrorText(DWORD code);

// The error of a failed call names the function and, where it has one, what it was called on
// (a registry path, a file, a service): "RegSetValueExW HKEY_LOCAL_MACHINE\...\PortNumber".
std::wstring callText(const wchar_t* function, std::wstring_view on);

// A number the tool chooses itself names no call; one a call returned names it.
PlatformError win32Error(DWORD code);
PlatformError win32Error(DWORD code, const wchar_t* function, std::wstring_view on = {});
PlatformError hresultError(HRESULT hr);
PlatformError hresultError(HRESULT hr, const wchar_t* function, std::wstring_view on = {});

[[noreturn]] void throwWin32(DWORD code);
[[noreturn]] void throwWin32(DWORD code, const wchar_t* function, std::wstring_view on = {});
// The thread's last error, which the failed call named has set.
[[noreturn]] void throwLastError(const wchar_t* function, std::wstring_view on = {});

// Raises for anything but ERROR_SUCCESS (the registry functions return their status).
void checkWin32(LSTATUS status, const wchar_t* function, std::wstring_view on = {});
void checkHr(HRESULT hr, const wchar_t* function, std::wstring_view on = {});

// Returns the result of a Win32 call that reports failure as null, 0 or FALSE, and raises the
// thread's last error otherwise: with the system's description, or with the caller's own
// words for what failed.
template <typename Result>
Result checked(Result result, const wchar_t* function, std::wstring_view on = {}) {
    if (!result) {
        throwLastError(function, on);
    }
    return result;
}
template <typename Result>
Result checkedSaying(Result result, const wchar_t* whatFailed, const wchar_t* function) {
    if (!result) {
        throw PlatformError(static_cast<long>(GetLastError()), whatFailed, false,
                            callText(function, {}));
    }
    return result;
}

} // namespace velkora::win32
