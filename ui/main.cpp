#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "ui/form1.h"
#include "ui/process_setup.h"

namespace {

int runMessageLoop(HWND window) {
    MSG message{};
    BOOL received = FALSE;
    while ((received = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (received == -1) {
            return 1;
        }
        // The dialog manager moves the focus on Tab across Text1, 修改 and 退出.
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
    const UniqueLibrary commonControls = loadCommonControls();

    velkora::win32::Win32Platform services;
    Form1 form(services.platform(), instance);
    form.dispatch([&] {
        Form1::registerClass(instance);
        form.create();
        return LRESULT{0};
    });
    services.setOwnerWindow(form.handle());
    form.load(); // an error here ends the program before the window is ever shown
    form.dispatch([&] {
        form.show(showCommand);
        return LRESULT{0};
    });
    return runMessageLoop(form.handle());
}
