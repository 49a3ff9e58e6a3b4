#pragma once

#include <windows.h>

namespace velkora::win32 {

// Loads a DLL of Windows from the system directory only, never from the program's folder,
// and keeps it loaded for the rest of the process. Raises PlatformError when it cannot.
HMODULE loadSystemLibrary(const wchar_t* name);

// The address of a function of that DLL; raises PlatformError when the DLL lacks it.
FARPROC systemProcedure(HMODULE module, const char* name);

} // namespace velkora::win32
