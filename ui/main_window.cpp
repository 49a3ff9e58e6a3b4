#include "ui/main_window.h"

#include <windowsx.h>
#include <imm.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "logic/modify_command.h"
#include "logic/port_entry_rules.h"
#include "logic/startup_texts.h"
#include "resources/resource_ids.h"
#include "platform/win32/runtime/win32_error.h"
#include "ui/controls.h"
#include "ui/frame_container.h"
#include "ui/text_fit.h"
#include "ui/tooltip.h"
#include "ui/website.h"

namespace velkora::ui {

using win32::checkedSaying;

namespace {

constexpr wchar_t windowClassName[] = L"VelkoraMainWindow";
constexpr wchar_t windowCaption[] = L"Harnoq服务器Velkora工具";
// Posted once the window is shown: the tooltip is needed only on the first hover.
constexpr UINT createTooltipMessage = WM_APP + 1;

std::wstring windowText(HWND window) {
    std::vector<wchar_t> buffer(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    const int copied = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

RECT pixelRect(const TwipRect& rect, int dpi) {
    const int left = twipsToPixels(rect.left, dpi);
    const int top = twipsToPixels(rect.top, dpi);
    return {left, top, left + twipsToPixels(rect.width, dpi),
            top + twipsToPixels(rect.height, dpi)};
}

} // namespace

const MainWindow::MessageRoute MainWindow::routes[] = {
    {WM_ERASEBKGND, &MainWindow::onEraseBackground},
    {WM_PAINT, &MainWindow::onPaint},
    {WM_LBUTTONDOWN, &MainWindow::onLeftButtonDown},
    {WM_LBUTTONUP, &MainWindow::onLeftButtonUp},
    {WM_CAPTURECHANGED, &MainWindow::onCaptureChanged},
    {WM_COMMAND, &MainWindow::onCommand},
    {WM_CTLCOLORSTATIC, &MainWindow::onControlColorStatic},
    {WM_ACTIVATE, &MainWindow::onActivate},
    {WM_SETFOCUS, &MainWindow::onSetFocus},
    {WM_DPICHANGED, &MainWindow::onDpiChanged},
    {WM_SETTINGCHANGE, &MainWindow::onSettingChange},
    {createTooltipMessage, &MainWindow::onCreateTooltip},
    {WM_CLOSE, &MainWindow::onClose},
    {WM_DESTROY, &MainWindow::onDestroy},
};

MainWindow::MainWindow(Platform& platform, HINSTANCE instance)
    : platform_(platform), instance_(instance) {}

MainWindow::~MainWindow() {
    tooltip_.reset();
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void MainWindow::registerClass(HINSTANCE instance) {
    registerWindowClass(instance, windowClassName, windowProc, IDI_VELKORA);
    FrameContainer::registerClass(instance);
}

void MainWindow::create() {
    banner_.emplace(instance_);
    checkedSaying(CreateWindowExW(exStyle, windowClassName, windowCaption, style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance_, this),
                  L"无法创建程序窗口", L"CreateWindowExW");
    dpi_ = dpiServices_.forWindow(window_);
    font_ = dpiServices_.messageFont(dpi_);
    createControls();
}

void MainWindow::load() {
    dispatch([this] {
        fillStartupTexts(*this, platform_);
        return LRESULT{0};
    });
}

void MainWindow::show(int showCommand) {
    const RECT outer = dpiServices_.windowRectForClient(clientRectAt(dpi_), style, exStyle, dpi_);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    PostMessageW(window_, createTooltipMessage, 0, 0);
    lastFocus_ = control(ControlId::portEdit);
    if (GetActiveWindow() == window_) {
        SetFocus(lastFocus_);
    }
}

std::wstring MainWindow::portText() const {
    return windowText(control(ControlId::portEdit));
}

void MainWindow::showCurrentPort(const std::wstring& caption) {
    SetWindowTextW(control(ControlId::currentPortLabel), caption.c_str());
}

void MainWindow::showCreditLine(const std::wstring& caption) {
    SetWindowTextW(control(ControlId::creditLine), caption.c_str());
}

void MainWindow::showNotice(const std::wstring& caption) {
    SetWindowTextW(control(ControlId::notice), caption.c_str());
    fitNotice();
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) noexcept {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wp, lp);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wp, lp);
    }
    return self->dispatch([&] { return self->handleMessage(message, wp, lp); });
}

// The port field's own window procedure, placed in front of the edit control's: typed characters
// go through the keystroke filter first. The field's user data points back to the window.
LRESULT CALLBACK MainWindow::portEditProc(HWND edit, UINT message, WPARAM wp, LPARAM lp) noexcept {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(edit, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(edit, message, wp, lp);
    }
    const WNDPROC original = self->portEditOriginal_;
    switch (message) {
    case WM_CHAR:
    case WM_IME_CHAR:
        return self->dispatch([&] { return self->onPortEditChar(wp, lp); });
    case WM_NCDESTROY:
        SetWindowLongPtrW(edit, GWLP_USERDATA, 0);
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        return CallWindowProcW(original, edit, message, wp, lp);
    default:
        return CallWindowProcW(original, edit, message, wp, lp);
    }
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wp, LPARAM lp) {
    for (const MessageRoute& route : routes) {
        if (route.message == message) {
            return (this->*route.handler)(wp, lp);
        }
    }
    return defaultHandling(message, wp, lp);
}

LRESULT MainWindow::defaultHandling(UINT message, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(window_, message, wp, lp);
}

LRESULT MainWindow::onEraseBackground(WPARAM wp, LPARAM) {
    RECT client{};
    GetClientRect(window_, &client);
    FillRect(reinterpret_cast<HDC>(wp), &client, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
}

LRESULT MainWindow::onPaint(WPARAM, LPARAM) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window_, &paint);
    if (dc != nullptr && banner_) {
        RECT client{};
        GetClientRect(window_, &client);
        RECT target = pixelRect(bannerArea, dpi_);
        target.right = client.right; // the banner always spans the full width
        banner_->draw(dc, target);
    }
    EndPaint(window_, &paint);
    return 0;
}

// A click is a press and a release of the left button on the window's own surface: the
// banner or a free margin. Controls take their own clicks.
LRESULT MainWindow::onLeftButtonDown(WPARAM, LPARAM) {
    leftButtonPressed_ = true;
    SetCapture(window_);
    return 0;
}

LRESULT MainWindow::onLeftButtonUp(WPARAM, LPARAM lp) {
    if (!leftButtonPressed_) {
        return 0;
    }
    const POINT point{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    RECT client{};
    GetClientRect(window_, &client);
    const bool onOwnSurface = PtInRect(&client, point) &&
                              ChildWindowFromPointEx(window_, point, CWP_SKIPINVISIBLE) == window_;
    ReleaseCapture();
    leftButtonPressed_ = false;
    if (onOwnSurface) {
        clickOnWindow();
    }
    return 0;
}

LRESULT MainWindow::onCaptureChanged(WPARAM, LPARAM) {
    leftButtonPressed_ = false;
    return 0;
}

LRESULT MainWindow::onCommand(WPARAM wp, LPARAM lp) {
    const auto id = static_cast<ControlId>(LOWORD(wp));
    const auto sender = reinterpret_cast<HWND>(lp);
    if (HIWORD(wp) != BN_CLICKED || sender == nullptr) {
        return 0; // Enter and Esc arrive as IDOK / IDCANCEL without a sender
    }
    if (id == ControlId::modifyButton && sender == control(ControlId::modifyButton)) {
        clickOnModify();
    } else if (id == ControlId::exitButton && sender == control(ControlId::exitButton)) {
        clickOnExit();
    }
    return 0;
}

LRESULT MainWindow::onControlColorStatic(WPARAM wp, LPARAM lp) {
    const auto dc = reinterpret_cast<HDC>(wp);
    const auto id = static_cast<ControlId>(GetDlgCtrlID(reinterpret_cast<HWND>(lp)));
    for (const ControlLayout& layout : controls) {
        if (layout.id == id && layout.textColor) {
            SetTextColor(
                dc, RGB(layout.textColor->red, layout.textColor->green, layout.textColor->blue));
        }
    }
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// Like a dialog, the window keeps the focus on the control that had it when it was last
// active (a message box takes it away and gives it back).
LRESULT MainWindow::onActivate(WPARAM wp, LPARAM) {
    if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (ownsWindow(focus)) {
            lastFocus_ = focus;
        }
    } else if (HIWORD(wp) == 0 && ownsWindow(lastFocus_)) {
        SetFocus(lastFocus_);
    }
    return 0;
}

LRESULT MainWindow::onSetFocus(WPARAM, LPARAM) {
    if (ownsWindow(lastFocus_)) {
        SetFocus(lastFocus_);
    }
    return 0;
}

LRESULT MainWindow::onDpiChanged(WPARAM wp, LPARAM lp) {
    const int dpi = HIWORD(wp);
    const RECT* suggested = reinterpret_cast<const RECT*>(lp);
    applyDpi(dpi);
    const RECT outer = dpiServices_.windowRectForClient(clientRectAt(dpi), style, exStyle, dpi);
    SetWindowPos(window_, nullptr, suggested->left, suggested->top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
    return 0;
}

LRESULT MainWindow::onSettingChange(WPARAM wp, LPARAM lp) {
    if (wp == SPI_SETNONCLIENTMETRICS) {
        const win32::UniqueFont previous = std::exchange(font_, dpiServices_.messageFont(dpi_));
        applyFont();
    }
    return defaultHandling(WM_SETTINGCHANGE, wp, lp);
}

LRESULT MainWindow::onCreateTooltip(WPARAM, LPARAM) {
    if (!tooltip_) {
        tooltip_ = createTooltip(window_, control(ControlId::creditLine), makerCredit, instance_);
    }
    return 0;
}

LRESULT MainWindow::onClose(WPARAM, LPARAM) {
    DestroyWindow(window_);
    return 0;
}

LRESULT MainWindow::onDestroy(WPARAM, LPARAM) {
    tooltip_.reset();
    PostQuitMessage(0);
    return 0;
}

LRESULT MainWindow::onPortEditChar(WPARAM wp, LPARAM lp) {
    auto keyCode = static_cast<std::int16_t>(wp); // the key code is a 16-bit signed integer
    filterPortKey(keyCode);
    if (keyCode == 0) {
        return 0; // discarded
    }
    return CallWindowProcW(portEditOriginal_, control(ControlId::portEdit), WM_CHAR,
                           static_cast<std::uint16_t>(keyCode), lp);
}

void MainWindow::clickOnWindow() {
    platform_.documents.openDocument(L"open", websiteAddress, L"", platform_.folder.programFolder(),
                                     SW_SHOWNORMAL);
}

void MainWindow::clickOnModify() {
    runModifyCommand(*this, platform_);
}

void MainWindow::clickOnExit() {
    platform_.end.endProgram(ExitCode::Normal);
}

// Each control is made in its place for the window's DPI, with its font (the notice gets
// its own fitted font when its text is set at load).
void MainWindow::createControls() {
    for (std::size_t index = 0; index < controls.size(); ++index) {
        const ControlLayout& layout = controls[index];
        HWND created = createControl(layout, containerOf(layout), instance_, dpi_, font_.get());
        controlHandles_[index] = created;
        if (layout.id == ControlId::portFrame) {
            frame_ = created;
        }
    }
    const TwipRect& frame = layoutOf(ControlId::portFrame).rect;
    groupBox_ = FrameContainer::createGroupBox(
        frame_, instance_, layoutOf(ControlId::portFrame).caption,
        {twipsToPixels(frame.width, dpi_), twipsToPixels(frame.height, dpi_)}, font_.get());

    HWND edit = control(ControlId::portEdit);
    SendMessageW(edit, EM_LIMITTEXT, 0, 0);  // no length limit
    ImmAssociateContextEx(edit, nullptr, 0); // digits only: no input method composition
    SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    portEditOriginal_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::portEditProc)));

    lastFocus_ = edit;
}

void MainWindow::applyDpi(int dpi) {
    dpi_ = dpi;
    const win32::UniqueFont previous = std::exchange(font_, dpiServices_.messageFont(dpi));
    layOut();
    applyFont(); // the controls leave the previous font before it goes
}

void MainWindow::layOut() {
    for (const ControlLayout& layout : controls) {
        placeWindow(control(layout.id), layout.rect, dpi_);
    }
    const TwipRect& frame = layoutOf(ControlId::portFrame).rect;
    placeWindow(groupBox_, {0, 0, frame.width, frame.height}, dpi_);
}

void MainWindow::applyFont() {
    const auto font = reinterpret_cast<WPARAM>(font_.get());
    for (const ControlLayout& layout : controls) {
        SendMessageW(control(layout.id), WM_SETFONT, font, TRUE);
    }
    SendMessageW(groupBox_, WM_SETFONT, font, TRUE);
    fitNotice();
}

void MainWindow::fitNotice() {
    HWND notice = control(ControlId::notice);
    win32::UniqueFont fitted = fontToFitLabel(notice, font_.get(), windowText(notice));
    HFONT font = fitted ? fitted.get() : font_.get();
    // Before the window is first shown there is nothing to redraw: the first paint draws it.
    SendMessageW(notice, WM_SETFONT, reinterpret_cast<WPARAM>(font), IsWindowVisible(notice));
    noticeFont_ = std::move(fitted); // the label no longer uses the one this replaces
}

RECT MainWindow::clientRectAt(int dpi) const {
    return pixelRect(clientArea, dpi);
}

HWND MainWindow::control(ControlId id) const {
    return controlHandles_[static_cast<std::size_t>(&layoutOf(id) - controls.data())];
}

HWND MainWindow::containerOf(const ControlLayout& layout) const {
    return layout.container == Container::PortFrame ? frame_ : window_;
}

bool MainWindow::ownsWindow(HWND window) const {
    return window != nullptr && window_ != nullptr && IsChild(window_, window);
}

} // namespace velkora::ui
