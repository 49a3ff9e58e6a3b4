#include "ui/tooltip.h"

#include <commctrl.h>

#include "platform/win32/runtime/win32_error.h"

namespace velkora::ui {

using win32::checkedSaying;

win32::UniqueWindow createTooltip(HWND owner, HWND tool, const wchar_t* text, HINSTANCE instance) {
    win32::UniqueWindow tooltip(checkedSaying(
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, instance, nullptr),
        L"无法创建提示窗口", L"CreateWindowExW"));
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = owner;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.hinst = instance;
    info.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tooltip.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    return tooltip;
}

} // namespace velkora::ui
