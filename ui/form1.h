#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "logic/form_view.h"
#include "platform/platform.h"
#include "ui/banner.h"
#include "ui/dpi.h"
#include "ui/layout.h"
#include "ui/win32_handles.h"

namespace velkora::ui {

// The main window: the banner, Frame1 with the port controls, and Label5 below it.
class Form1 final : public FormView {
public:
    Form1(Platform& platform, HINSTANCE instance);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    static void registerClass(HINSTANCE instance);

    // Creates the window and its controls, hidden.
    void create();
    // The Load event: fills the start-up texts before the window is first shown.
    void load();
    // Shows the window centred on its monitor, with the focus in Text1.
    void show(int showCommand);

    HWND handle() const { return window_; }

    // Runs an event handler through the window's one error dispatch point.
    template <typename Handler> LRESULT dispatch(Handler&& handler) noexcept;

    std::wstring text1() const override;
    void setLabel2(const std::wstring& caption) override;
    void setLabel5(const std::wstring& caption) override;
    void setLabel6(const std::wstring& caption) override;

private:
    using MessageHandler = LRESULT (Form1::*)(WPARAM, LPARAM);
    struct MessageRoute {
        UINT message;
        MessageHandler handler;
    };
    static const MessageRoute routes[];

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) noexcept;
    static LRESULT CALLBACK text1Proc(HWND edit, UINT message, WPARAM wp, LPARAM lp) noexcept;
    LRESULT handle(UINT message, WPARAM wp, LPARAM lp);
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
    LRESULT onText1Char(WPARAM wp, LPARAM lp);

    // The events of the window, as the logic sees them.
    void clickOnWindow();
    void clickOnCommand1();
    void clickOnCommand2();

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
    WNDPROC text1Original_ = nullptr;
    HWND lastFocus_ = nullptr;
    UniqueWindow tooltip_;
    UniqueFont font_;
    UniqueFont noticeFont_; // only when the notice needs a smaller font to fit
    int dpi_ = USER_DEFAULT_SCREEN_DPI;
    bool leftButtonPressed_ = false;
};

} // namespace velkora::ui

#include "ui/event_dispatch.h"

template <typename Handler> LRESULT velkora::ui::Form1::dispatch(Handler&& handler) noexcept {
    return dispatchEvent(platform_.errors, std::forward<Handler>(handler));
}
