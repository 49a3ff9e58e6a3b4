#pragma once

#include <windows.h>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::ui {

// A tooltip window that shows one text while the mouse rests on one control.
win32::UniqueWindow createTooltip(HWND owner, HWND tool, const wchar_t* text, HINSTANCE instance);

} // namespace velkora::ui
