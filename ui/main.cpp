#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "ui/main_window.h"
#include "ui/process_setup.h"

namespace {

int runMessageLoop(HWND window) {
    MSG message{};
    BOOL received = FALSE;
    while ((received = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (received == -1) {
            return 1;
        }
        // The dialog manager moves the focus on Tab across the port field, 修改 and 退出.
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    using namespace velkora::ui;
    restrictDllSearch();
    terminateOnHeapCorruption();
    const velkora::win32::UniqueLibrary commonControls = loadCommonControls();

    velkora::win32::Win32Platform services;
    MainWindow window(services.platform(), instance);
    window.dispatch([&] {
        MainWindow::registerClass(instance);
        window.create();
        return LRESULT{0};
    });
    services.setOwnerWindow(window.hwnd());
    window.load(); // an error here ends the program before the window is ever shown
    window.dispatch([&] {
        window.show(showCommand);
        return LRESULT{0};
    });
    return runMessageLoop(window.hwnd());
}
