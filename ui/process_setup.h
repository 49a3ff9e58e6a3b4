#pragma once

#include <windows.h>

#include "platform/win32/unique_handles.h"

namespace velkora::ui {

// Loads DLLs from the system directory only, never from the program's folder or the
// current directory (where a planted DLL would run with the administrator's rights).
void restrictDllSearch();

// Ends the process on heap corruption instead of running on.
void terminateOnHeapCorruption();

// Loads the common controls (version 6, through the manifest) and registers the classes the
// window uses. Not a static import: comctl32 is not one of Windows' known DLLs.
win32::UniqueLibrary loadCommonControls();

} // namespace velkora::ui
