#pragma once

#include <windows.h>

namespace velkora::ui {

// The window class of the port frame: a container that owns its controls, draws the group frame
// through a group-box child, swallows clicks on its empty inside and hands its controls'
// notifications (WM_COMMAND, WM_CTLCOLOR*) on to its parent.
class FrameContainer {
public:
    static void registerClass(HINSTANCE instance);
    static const wchar_t* className() { return L"VelkoraFrame"; }

    // Creates the group-box child that draws the frame and its caption, filling the frame
    // (a size in pixels). Call it after the frame's controls exist: it goes below all of
    // them and takes no clicks (a group box is transparent to the mouse, so a click on it
    // reaches the frame).
    static HWND createGroupBox(HWND frame, HINSTANCE instance, const wchar_t* caption, SIZE size,
                               HFONT font);
};

} // namespace velkora::ui
