#pragma once

#include "platform/win32/unique_handles.h"

namespace velkora::ui {

// The window holds its handles in the same owners as the platform services.
using win32::ComPtr;
using win32::loadProcedure;
using win32::UniqueBitmap;
using win32::UniqueFont;
using win32::UniqueGlobalMemory;
using win32::UniqueLibrary;
using win32::UniqueWindow;

} // namespace velkora::ui
