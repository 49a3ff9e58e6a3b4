#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "logic/main_window_view.h"
#include "platform/platform.h"
#include "ui/banner.h"
#include "ui/dpi.h"
#include "ui/layout.h"
#include "platform/win32/runtime/unique_handles.h"

namespace velkora::ui {

// The main window: the banner, the port frame with the port controls, and the credit line
// below it.
class MainWindow final : public MainWindowView, NonCopyable {
public:
    MainWindow(Platform& platform, HINSTANCE instance);
    ~MainWindow() override;

    static void registerClass(HINSTANCE instance);

    // Creates the window and its controls, hidden.
    void create();
    // The Load event: fills the start-up texts before the window is first shown.
    void load();
    // Shows the window centred on its monitor, with the focus in the port field.
    void show(int showCommand);

    HWND hwnd() const { return window_; }

    // Runs an event handler through the window's one error dispatch point.
    template <typename Handler> LRESULT dispatch(Handler&& handler) noexcept;

    std::wstring portText() const override;
    void showCurrentPort(const std::wstring& caption) override;
    void showCreditLine(const std::wstring& caption) override;
    void showNotice(const std::wstring& caption) override;

private:
    using MessageHandler = LRESULT (MainWindow::*)(WPARAM, LPARAM);
    struct MessageRoute {
        UINT message;
        MessageHandler handler;
    };
    static const MessageRoute routes[];

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) noexcept;
    static LRESULT CALLBACK portEditProc(HWND edit, UINT message, WPARAM wp, LPARAM lp) noexcept;
    LRESULT handleMessage(UINT message, WPARAM wp, LPARAM lp);
    LRESULT defaultHandling(UINT message, WPARAM wp, LPARAM lp);

    // Message handlers, one per message.
    LRESULT onEraseBackground(WPARAM wp, LPARAM lp);
    LRESULT onPaint(WPARAM wp, LPARAM lp);
    LRESULT onLeftButtonDown(WPARAM wp, LPARAM lp);
    LRESULT onLeftButtonUp(WPARAM wp, LPARAM lp);
    LRESULT onCaptureChanged(WPARAM wp, LPARAM lp);
    LRESULT onCommand(WPARAM wp, LPARAM lp);
    LRESULT onControlColorStatic(WPARAM wp, LPARAM lp);
    LRESULT onActivate(WPARAM wp, LPARAM lp);
    LRESULT onSetFocus(WPARAM wp, LPARAM lp);
    LRESULT onDpiChanged(WPARAM wp, LPARAM lp);
    LRESULT onSettingChange(WPARAM wp, LPARAM lp);
    LRESULT onCreateTooltip(WPARAM wp, LPARAM lp);
    LRESULT onClose(WPARAM wp, LPARAM lp);
    LRESULT onDestroy(WPARAM wp, LPARAM lp);
    LRESULT onPortEditChar(WPARAM wp, LPARAM lp);

    // The events of the window, as the logic sees them.
    void clickOnWindow();
    void clickOnModify();
    void clickOnExit();

    void createControls();
    void applyDpi(int dpi);
    void layOut();
    void applyFont();
    void fitNotice();
    RECT clientRectAt(int dpi) const;
    HWND control(ControlId id) const;
    HWND containerOf(const ControlLayout& layout) const;
    bool ownsWindow(HWND window) const;

    static constexpr DWORD style =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    static constexpr DWORD exStyle = WS_EX_CONTROLPARENT;

    Platform& platform_;
    HINSTANCE instance_;
    Dpi dpiServices_;
    std::optional<Banner> banner_;
    HWND window_ = nullptr;
    HWND frame_ = nullptr;
    HWND groupBox_ = nullptr;
    // The controls' handles, in the order of the layout table; null until they are created.
    std::array<HWND, controls.size()> controlHandles_{};
    WNDPROC portEditOriginal_ = nullptr;
    HWND lastFocus_ = nullptr;
    win32::UniqueWindow tooltip_;
    win32::UniqueFont font_;
    win32::UniqueFont noticeFont_; // only when the notice needs a smaller font to fit
    int dpi_ = USER_DEFAULT_SCREEN_DPI;
    bool leftButtonPressed_ = false;
};

} // namespace velkora::ui

#include "ui/event_dispatch.h"

#include "platform/non_copyable.h"

template <typename Handler> LRESULT velkora::ui::MainWindow::dispatch(Handler&& handler) noexcept {
    return dispatchEvent(platform_.errors, std::forward<Handler>(handler));
}
