#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::ui {

// A wrapping label clips whatever does not fit its height, and the system's message font
// (taller than the fonts of old) can need one line more than the label has room for. This
// gives a font a little smaller than the base font with which the whole text fits, or no
// font when the base font already fits.
win32::UniqueFont fontToFitLabel(HWND label, HFONT baseFont, const std::wstring& text);

} // namespace velkora::ui
