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

} // namespace velkora::win32
