#include "ui/frame_container.h"

#include "platform/win32/runtime/win32_error.h"
#include "ui/controls.h"

namespace velkora::ui {

using win32::checkedSaying;

namespace {

LRESULT CALLBACK frameProc(HWND frame, UINT message, WPARAM wp, LPARAM lp) noexcept {
    switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return SendMessageW(GetParent(frame), message, wp, lp);
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(frame, &client);
        FillRect(reinterpret_cast<HDC>(wp), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    default:
        // Mouse messages on the frame's own surface end here: DefWindowProc does nothing
        // with a click, so the main window never sees it.
        return DefWindowProcW(frame, message, wp, lp);
    }
}

} // namespace

void FrameContainer::registerClass(HINSTANCE instance) {
    registerWindowClass(instance, className(), frameProc);
}

HWND FrameContainer::createGroupBox(HWND frame, HINSTANCE instance, const wchar_t* caption,
                                    SIZE size, HFONT font) {
    HWND groupBox =
        checkedSaying(CreateWindowExW(0, L"BUTTON", caption,
                                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX, 0, 0,
                                      size.cx, size.cy, frame, nullptr, instance, nullptr),
                      L"无法创建窗口控件", L"CreateWindowExW");
    SendMessageW(groupBox, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowPos(groupBox, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return groupBox;
}

} // namespace velkora::ui
