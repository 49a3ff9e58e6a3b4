#include "ui/form1.h"

#include <windowsx.h>
#include <imm.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "logic/modify_command.h"
#include "logic/port_entry_rules.h"
#include "logic/startup_texts.h"
#include "resources/resource_ids.h"
#include "ui/controls.h"
#include "ui/frame_container.h"
#include "ui/text_fit.h"
#include "ui/tooltip.h"
#include "ui/website.h"

namespace velkora::ui {

namespace {

constexpr wchar_t windowClassName[] = L"VelkoraForm1";
constexpr wchar_t windowCaption[] = L"Harnoq服务器Velkora工具";
constexpr wchar_t form1Property[] = L"Velkora.Form1";
// Posted once the window is shown: the tooltip is needed only on the first hover.
constexpr UINT createTooltipMessage = WM_APP + 1;

[[noreturn]] void failWithLastError(const wchar_t* what) {
    const DWORD error = GetLastError();
    throw PlatformError(static_cast<long>(error), what);
}

RECT pixelRect(const TwipRect& rect, int dpi) {
    const int left = twipsToPixels(rect.left, dpi);
    const int top = twipsToPixels(rect.top, dpi);
    return {left, top, left + twipsToPixels(rect.width, dpi),
            top + twipsToPixels(rect.height, dpi)};
}

} // namespace

const Form1::MessageRoute Form1::routes[] = {
    {WM_ERASEBKGND, &Form1::onEraseBackground},
    {WM_PAINT, &Form1::onPaint},
    {WM_LBUTTONDOWN, &Form1::onLeftButtonDown},
    {WM_LBUTTONUP, &Form1::onLeftButtonUp},
    {WM_CAPTURECHANGED, &Form1::onCaptureChanged},
    {WM_COMMAND, &Form1::onCommand},
    {WM_CTLCOLORSTATIC, &Form1::onControlColorStatic},
    {WM_ACTIVATE, &Form1::onActivate},
    {WM_SETFOCUS, &Form1::onSetFocus},
    {WM_DPICHANGED, &Form1::onDpiChanged},
    {WM_SETTINGCHANGE, &Form1::onSettingChange},
    {createTooltipMessage, &Form1::onCreateTooltip},
    {WM_CLOSE, &Form1::onClose},
    {WM_DESTROY, &Form1::onDestroy},
};

Form1::Form1(Platform& platform, HINSTANCE instance) : platform_(platform), instance_(instance) {}

Form1::~Form1() {
    tooltip_.reset();
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void Form1::registerClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VELKORA),
                                                      IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                      GetSystemMetrics(SM_CYICON), LR_SHARED));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VELKORA),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    windowClass.lpszClassName = windowClassName;
    if (RegisterClassExW(&windowClass) == 0) {
        failWithLastError(L"无法注册窗口类");
    }
    FrameContainer::registerClass(instance);
}

void Form1::create() {
    banner_.emplace(instance_);
    if (CreateWindowExW(exStyle, windowClassName, windowCaption, style, CW_USEDEFAULT,
                        CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance_, this) == nullptr) {
        failWithLastError(L"无法创建程序窗口");
    }
    dpi_ = dpiServices_.forWindow(window_);
    font_ = dpiServices_.messageFont(dpi_);
    createControls();
}

void Form1::load() {
    dispatch([this] {
        fillStartupTexts(*this, platform_);
        return LRESULT{0};
    });
}

void Form1::show(int showCommand) {
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
    lastFocus_ = control(Text1);
    if (GetActiveWindow() == window_) {
        SetFocus(lastFocus_);
    }
}

std::wstring Form1::text1() const {
    HWND edit = control(Text1);
    std::vector<wchar_t> buffer(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    const int copied = GetWindowTextW(edit, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

void Form1::setLabel2(const std::wstring& caption) {
    SetWindowTextW(control(Label2), caption.c_str());
}

void Form1::setLabel5(const std::wstring& caption) {
    SetWindowTextW(control(Label5), caption.c_str());
}

void Form1::setLabel6(const std::wstring& caption) {
    SetWindowTextW(control(Label6), caption.c_str());
    fitNotice();
}

LRESULT CALLBACK Form1::windowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) noexcept {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wp, lp);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wp, lp);
    }
    return self->dispatch([&] { return self->handle(message, wp, lp); });
}

// Text1's own window procedure, placed in front of the edit control's: typed characters
// go through the keystroke filter first.
LRESULT CALLBACK Form1::text1Proc(HWND edit, UINT message, WPARAM wp, LPARAM lp) noexcept {
    auto* self = static_cast<Form1*>(GetPropW(edit, form1Property));
    if (self == nullptr) {
        return DefWindowProcW(edit, message, wp, lp);
    }
    const WNDPROC original = self->text1Original_;
    switch (message) {
    case WM_CHAR:
    case WM_IME_CHAR:
        return self->dispatch([&] { return self->onText1Char(wp, lp); });
    case WM_NCDESTROY:
        RemovePropW(edit, form1Property);
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        return CallWindowProcW(original, edit, message, wp, lp);
    default:
        return CallWindowProcW(original, edit, message, wp, lp);
    }
}

LRESULT Form1::handle(UINT message, WPARAM wp, LPARAM lp) {
    for (const MessageRoute& route : routes) {
        if (route.message == message) {
            return (this->*route.handler)(wp, lp);
        }
    }
    return defaultHandling(message, wp, lp);
}

LRESULT Form1::defaultHandling(UINT message, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(window_, message, wp, lp);
}

LRESULT Form1::onEraseBackground(WPARAM wp, LPARAM) {
    RECT client{};
    GetClientRect(window_, &client);
    FillRect(reinterpret_cast<HDC>(wp), &client, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
}

LRESULT Form1::onPaint(WPARAM, LPARAM) {
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
LRESULT Form1::onLeftButtonDown(WPARAM, LPARAM) {
    leftButtonPressed_ = true;
    SetCapture(window_);
    return 0;
}

LRESULT Form1::onLeftButtonUp(WPARAM, LPARAM lp) {
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

LRESULT Form1::onCaptureChanged(WPARAM, LPARAM) {
    leftButtonPressed_ = false;
    return 0;
}

LRESULT Form1::onCommand(WPARAM wp, LPARAM lp) {
    const int id = LOWORD(wp);
    const auto sender = reinterpret_cast<HWND>(lp);
    if (HIWORD(wp) != BN_CLICKED || sender == nullptr) {
        return 0; // Enter and Esc arrive as IDOK / IDCANCEL without a sender
    }
    if (id == Command1 && sender == control(Command1)) {
        clickOnCommand1();
    } else if (id == Command2 && sender == control(Command2)) {
        clickOnCommand2();
    }
    return 0;
}

LRESULT Form1::onControlColorStatic(WPARAM wp, LPARAM lp) {
    const auto dc = reinterpret_cast<HDC>(wp);
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
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
LRESULT Form1::onActivate(WPARAM wp, LPARAM) {
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

LRESULT Form1::onSetFocus(WPARAM, LPARAM) {
    if (ownsWindow(lastFocus_)) {
        SetFocus(lastFocus_);
    }
    return 0;
}

LRESULT Form1::onDpiChanged(WPARAM wp, LPARAM lp) {
    const int dpi = HIWORD(wp);
    const RECT* suggested = reinterpret_cast<const RECT*>(lp);
    applyDpi(dpi);
    const RECT outer = dpiServices_.windowRectForClient(clientRectAt(dpi), style, exStyle, dpi);
    SetWindowPos(window_, nullptr, suggested->left, suggested->top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
    return 0;
}

LRESULT Form1::onSettingChange(WPARAM wp, LPARAM lp) {
    if (wp == SPI_SETNONCLIENTMETRICS) {
        const UniqueFont previous = std::exchange(font_, dpiServices_.messageFont(dpi_));
        applyFont();
    }
    return defaultHandling(WM_SETTINGCHANGE, wp, lp);
}

LRESULT Form1::onCreateTooltip(WPARAM, LPARAM) {
    if (!tooltip_) {
        tooltip_ = createTooltip(window_, control(Label5), makerCredit, instance_);
    }
    return 0;
}

LRESULT Form1::onClose(WPARAM, LPARAM) {
    DestroyWindow(window_);
    return 0;
}

LRESULT Form1::onDestroy(WPARAM, LPARAM) {
    tooltip_.reset();
    PostQuitMessage(0);
    return 0;
}

LRESULT Form1::onText1Char(WPARAM wp, LPARAM lp) {
    auto keyCode = static_cast<std::int16_t>(wp); // the key code is a 16-bit signed integer
    filterPortKey(keyCode);
    if (keyCode == 0) {
        return 0; // discarded
    }
    return CallWindowProcW(text1Original_, control(Text1), WM_CHAR,
                           static_cast<std::uint16_t>(keyCode), lp);
}

void Form1::clickOnWindow() {
    platform_.documents.openDocument(L"open", websiteAddress, L"", platform_.folder.programFolder(),
                                     SW_SHOWNORMAL);
}

void Form1::clickOnCommand1() {
    runModifyCommand(*this, platform_);
}

void Form1::clickOnCommand2() {
    platform_.end.endProgram(ExitCode::Normal);
}

// Each control is made in its place for the window's DPI, with its font (the notice gets
// its own fitted font when its text is set at load).
void Form1::createControls() {
    for (const ControlLayout& layout : controls) {
        HWND created = createControl(layout, containerOf(layout), instance_, dpi_, font_.get());
        if (layout.id == Frame1) {
            frame_ = created;
        }
    }
    const TwipRect& frame = layoutOf(Frame1).rect;
    groupBox_ = FrameContainer::createGroupBox(
        frame_, instance_, layoutOf(Frame1).caption,
        {twipsToPixels(frame.width, dpi_), twipsToPixels(frame.height, dpi_)}, font_.get());

    HWND edit = control(Text1);
    SendMessageW(edit, EM_LIMITTEXT, 0, 0);  // no length limit
    ImmAssociateContextEx(edit, nullptr, 0); // digits only: no input method composition
    SetPropW(edit, form1Property, this);
    text1Original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Form1::text1Proc)));
    lastFocus_ = edit;
}

void Form1::applyDpi(int dpi) {
    dpi_ = dpi;
    const UniqueFont previous = std::exchange(font_, dpiServices_.messageFont(dpi));
    layOut();
    applyFont(); // the controls leave the previous font before it goes
}

void Form1::layOut() {
    for (const ControlLayout& layout : controls) {
        placeWindow(control(layout.id), layout.rect, dpi_);
    }
    const TwipRect& frame = layoutOf(Frame1).rect;
    placeWindow(groupBox_, {0, 0, frame.width, frame.height}, dpi_);
}

void Form1::applyFont() {
    const auto font = reinterpret_cast<WPARAM>(font_.get());
    for (const ControlLayout& layout : controls) {
        SendMessageW(control(layout.id), WM_SETFONT, font, TRUE);
    }
    SendMessageW(groupBox_, WM_SETFONT, font, TRUE);
    fitNotice();
}

void Form1::fitNotice() {
    HWND notice = control(Label6);
    const int length = GetWindowTextLengthW(notice);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(notice, text.data(), length + 1)));
    UniqueFont fitted = fontToFitLabel(notice, font_.get(), text);
    HFONT font = fitted ? fitted.get() : font_.get();
    SendMessageW(notice, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    noticeFont_ = std::move(fitted); // the label no longer uses the one this replaces
}

RECT Form1::clientRectAt(int dpi) const {
    return pixelRect(clientArea, dpi);
}

HWND Form1::control(ControlId id) const {
    return GetDlgItem(containerOf(layoutOf(id)), id);
}

HWND Form1::containerOf(const ControlLayout& layout) const {
    return layout.container == Container::Frame1 ? frame_ : window_;
}

bool Form1::ownsWindow(HWND window) const {
    return window != nullptr && window_ != nullptr && IsChild(window_, window);
}

} // namespace velkora::ui
