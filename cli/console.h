#pragma once

#include <windows.h>

#include <string>

namespace velkora::cli {

// Writes to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE: to a console with WriteConsoleW, so that
// Chinese shows whatever the code page; redirected, as UTF-8 without a byte order mark.
void writeTo(DWORD standardHandle, const std::wstring& text);

} // namespace velkora::cli
