#include "platform/win32/shell/message_box.h"

#include <iterator>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {
namespace {

bool isDialog(HWND window) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, static_cast<int>(std::size(className)));
    return lstrcmpW(className, L"#32770") == 0;
}

void renameButton(HWND box, int id, const wchar_t* caption) {
    if (HWND button = GetDlgItem(box, id)) {
        SetWindowTextW(button, caption);
    }
}

// Runs on this thread only, while one of our boxes is open: the box is about to be
// activated, with its buttons already made.
LRESULT CALLBACK renameButtonsOnActivate(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (isDialog(window)) {
            renameButton(window, IDYES, L"是");
            renameButton(window, IDNO, L"否");
            renameButton(window, IDOK, L"确定");
            renameButton(window, IDCANCEL, L"取消");
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

int SystemMessageBox::messageBox(const std::wstring& prompt, int style,
                                 const std::optional<std::wstring>& title) {
    // Without the hook the box still works, with the system's own captions.
    UniqueHook hook(
        SetWindowsHookExW(WH_CBT, renameButtonsOnActivate, nullptr, GetCurrentThreadId()));
    const std::wstring& caption = title ? *title : applicationTitle;
    return MessageBoxW(owner_, prompt.c_str(), caption.c_str(),
                       static_cast<UINT>(style) | MB_SETFOREGROUND);
}

} // namespace velkora::win32
