#include "ui/dpi.h"

#include "platform/platform_error.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::ui {

using win32::checkedSaying;

namespace {

int systemDpi() {
    const win32::WindowDc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

} // namespace

Dpi::Dpi() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    getDpiForWindow_ = win32::loadProcedure<GetDpiForWindowFn>(user32, "GetDpiForWindow");
    adjustWindowRectExForDpi_ =
        win32::loadProcedure<AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi");
    systemParametersInfoForDpi_ =
        win32::loadProcedure<SystemParametersInfoForDpiFn>(user32, "SystemParametersInfoForDpi");
}

int Dpi::forWindow(HWND window) const {
    if (getDpiForWindow_ != nullptr) {
        const UINT dpi = getDpiForWindow_(window);
        if (dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    return systemDpi();
}

RECT Dpi::windowRectForClient(RECT client, DWORD style, DWORD exStyle, int dpi) const {
    RECT rect = client;
    checkedSaying(
        adjustWindowRectExForDpi_ != nullptr
            ? adjustWindowRectExForDpi_(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi))
            : AdjustWindowRectEx(&rect, style, FALSE, exStyle),
        L"无法计算窗口大小",
        adjustWindowRectExForDpi_ != nullptr ? L"AdjustWindowRectExForDpi" : L"AdjustWindowRectEx");
    return rect;
}

win32::UniqueFont Dpi::messageFont(int dpi) const {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    BOOL read = FALSE;
    if (systemParametersInfoForDpi_ != nullptr) {
        read = systemParametersInfoForDpi_(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                                           static_cast<UINT>(dpi));
    }
    if (!read) {
        // Without the per-DPI call the font comes at the system DPI; scale it.
        read = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        if (read) {
            metrics.lfMessageFont.lfHeight =
                MulDiv(metrics.lfMessageFont.lfHeight, dpi, systemDpi());
        }
    }
    checkedSaying(read, L"无法读取系统消息字体", L"SystemParametersInfoW");
    win32::UniqueFont font(CreateFontIndirectW(&metrics.lfMessageFont));
    if (!font) {
        throw PlatformError(ErrorNumber::InvalidHandle, L"无法创建系统消息字体");
    }
    return font;
}

} // namespace velkora::ui
