#pragma once

#include <windows.h>

#include "ui/layout.h"

namespace velkora::ui {

// Registers a window class of this program, with the arrow cursor and, where iconId names
// one, the program's icon in both sizes.
void registerWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                         int iconId = 0);

// Creates one control of the layout table as a child of its container, in its place at
// that DPI and with that font.
HWND createControl(const ControlLayout& layout, HWND container, HINSTANCE instance, int dpi,
                   HFONT font);

// Moves and sizes a window to a rectangle of the layout table, at that DPI.
void placeWindow(HWND window, const TwipRect& rect, int dpi);

} // namespace velkora::ui
