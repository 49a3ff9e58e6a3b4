#pragma once

#include <windows.h>

#include "ui/layout.h"

namespace velkora::ui {

// Creates one control of the layout table as a child of its container, without a size yet.
HWND createControl(const ControlLayout& layout, HWND container, HINSTANCE instance);

// Moves and sizes a window to a rectangle of the layout table, at that DPI.
void placeWindow(HWND window, const TwipRect& rect, int dpi);

} // namespace velkora::ui
