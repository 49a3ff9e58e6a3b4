#pragma once

#include <windows.h>

#include "platform/win32/runtime/process_setup.h"
#include "platform/win32/runtime/unique_handles.h"

namespace velkora::ui {

using win32::restrictDllSearch;
using win32::terminateOnHeapCorruption;

// Loads the common controls (version 6, through the manifest) and registers the classes the
// window uses. Not a static import: comctl32 is not one of Windows' known DLLs.
win32::UniqueLibrary loadCommonControls();

} // namespace velkora::ui
