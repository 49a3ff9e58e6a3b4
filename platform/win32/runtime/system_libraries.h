#pragma once

#include <windows.h>

#include <string>

namespace velkora::win32 {

// Loads a DLL of Windows from the system directory only, never from the program's folder,
// and keeps it loaded for the rest of the process. Raises PlatformError when it cannot.
HMODULE loadSystemLibrary(const wchar_t* name);

// Whether LoadLibraryExW knows the LOAD_LIBRARY_SEARCH_* flags (Windows 8 and later, Windows 7
// with KB2533623): recognised, as Microsoft documents, by kernel32 exporting AddDllDirectory.
bool librarySearchFlagsKnown();

// Loads the DLL `name` from `folder` by its full path. What it imports in turn is searched in
// the system directory alone where the system knows the search flags, else in `folder` first
// (LOAD_WITH_ALTERED_SEARCH_PATH); never in the program's folder first, as a load without flags
// would. loadSystemLibrary is this for the system directory and the system's own answer.
HMODULE loadLibraryFrom(const std::wstring& folder, const wchar_t* name, bool searchFlagsKnown);

// The address of a function of that DLL; raises PlatformError when the DLL lacks it.
FARPROC systemProcedure(HMODULE module, const char* name);

} // namespace velkora::win32
