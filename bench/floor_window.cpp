// The floor for velkora.exe under Wine: the bare window plus only what velkora must show -
// the Common Controls 6 manifest, the Chinese texts in the system's message font (the notice
// whole, and the credit line with today's local date), the group box, the port field, the
// listener's port read from the registry, and the 309 x 66 banner JPEG decoded and drawn as
// velkora does.
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>

#include "ui/banner.h"

namespace {

std::optional<velkora::ui::Banner> banner;

LRESULT CALLBACK floorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        banner->draw(dc, {0, 0, 309, 66});
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void addControl(HWND parent, const wchar_t* className, const wchar_t* text, RECT place, HFONT font,
                HINSTANCE instance, DWORD style = 0, DWORD exStyle = 0) {
    HWND control =
        CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, place.left,
                        place.top, place.right, place.bottom, parent, nullptr, instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

std::wstring listenerPortText() {
    DWORD port = 0;
    DWORD size = sizeof port;
    RegGetValueW(HKEY_LOCAL_MACHINE,
                 L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp",
                 L"PortNumber", RRF_RT_REG_DWORD, nullptr, &port, &size);
    return std::to_wstring(port);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    HMODULE commonControls = LoadLibraryW(L"comctl32.dll"); // version 6, by the manifest
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = reinterpret_cast<InitFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(commonControls, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES};
    init(&classes);
    banner.emplace(instance);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = floorWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = L"VelkoraFloorWindow";
    RegisterClassW(&windowClass);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);

    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Velkora工具下限窗口",
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 325, 262,
                                  nullptr, nullptr, instance, nullptr);
    addControl(window, L"BUTTON", L"Velkora", {8, 65, 294, 144}, font, instance, BS_GROUPBOX);
    addControl(window, L"STATIC", L"当前远程端口：", {16, 89, 89, 17}, font, instance);
    addControl(window, L"STATIC", listenerPortText().c_str(), {104, 89, 65, 17}, font, instance);
    addControl(window, L"STATIC", L"输入更改端口：", {16, 121, 89, 17}, font, instance);
    addControl(window, L"EDIT", L"", {104, 117, 73, 18}, font, instance, WS_TABSTOP,
               WS_EX_CLIENTEDGE);
    addControl(window, L"STATIC",
               L"端口最大值为65535，请修改未使用的端口。本软件会自动添加新端口到防火墙例外。"
               L"修改完成软件会提示重启才能生效！",
               {16, 145, 177, 57}, font, instance);
    SYSTEMTIME today{};
    GetLocalTime(&today); // under Wine the first local time looks up the time zone
    const std::wstring creditLine =
        L" " + std::to_wstring(today.wYear) + L"年" + std::to_wstring(today.wMonth) + L"月" +
        std::to_wstring(today.wDay) + L"日                    BY：Harnoq";
    addControl(window, L"STATIC", creditLine.c_str(), {8, 209, 305, 17}, font, instance);
    addControl(window, L"BUTTON", L"修改", {208, 113, 81, 25}, font, instance);
    addControl(window, L"BUTTON", L"退出", {208, 161, 81, 25}, font, instance);
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
