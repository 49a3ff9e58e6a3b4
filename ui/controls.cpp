#include "ui/controls.h"

#include "platform/win32/runtime/win32_error.h"
#include "ui/frame_container.h"

namespace velkora::ui {

using win32::checkedSaying;

namespace {

struct WindowKind {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

WindowKind windowKindOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Frame:
        return {FrameContainer::className(), WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
    case ControlKind::Label:
        // SS_NOTIFY makes the label take its own clicks instead of passing them to the
        // window below; its notifications are ignored.
        return {L"STATIC", SS_LEFT | SS_NOTIFY | SS_NOPREFIX | WS_CLIPSIBLINGS, 0};
    case ControlKind::TextBox:
        return {L"EDIT", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE};
    case ControlKind::Button:
        return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP | WS_CLIPSIBLINGS, 0};
    }
    return {L"STATIC", 0, 0};
}

HICON loadIcon(HINSTANCE instance, int iconId, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_SHARED));
}

} // namespace

void registerWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int iconId) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    if (iconId != 0) {
        windowClass.hIcon = loadIcon(instance, iconId, SM_CXICON, SM_CYICON);
        windowClass.hIconSm = loadIcon(instance, iconId, SM_CXSMICON, SM_CYSMICON);
    }
    windowClass.lpszClassName = name;
    checkedSaying(RegisterClassExW(&windowClass), L"无法注册窗口类", L"RegisterClassExW");
}

HWND createControl(const ControlLayout& layout, HWND container, HINSTANCE instance, int dpi,
                   HFONT font) {
    const WindowKind kind = windowKindOf(layout.kind);
    const TwipRect& rect = layout.rect;
    HWND control = checkedSaying(
        CreateWindowExW(kind.exStyle, kind.className, layout.caption ? layout.caption : L"",
                        WS_CHILD | WS_VISIBLE | kind.style, twipsToPixels(rect.left, dpi),
                        twipsToPixels(rect.top, dpi), twipsToPixels(rect.width, dpi),
                        twipsToPixels(rect.height, dpi), container,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance,
                        nullptr),
        L"无法创建窗口控件", L"CreateWindowExW");
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void placeWindow(HWND window, const TwipRect& rect, int dpi) {
    SetWindowPos(window, nullptr, twipsToPixels(rect.left, dpi), twipsToPixels(rect.top, dpi),
                 twipsToPixels(rect.width, dpi), twipsToPixels(rect.height, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace velkora::ui
