#include "ui/text_fit.h"

#include <cstdlib>
#include <utility>

namespace velkora::ui {

namespace {

constexpr UINT wrapFlags = DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;

// The height the text takes, wrapped at the label's width, in that font.
int wrappedHeight(HDC dc, HFONT font, const std::wstring& text, int width) {
    const win32::SelectedObject selected(dc, font);
    RECT bounds{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, wrapFlags);
    return bounds.bottom - bounds.top;
}

} // namespace

win32::UniqueFont fontToFitLabel(HWND label, HFONT baseFont, const std::wstring& text) {
    RECT client{};
    GetClientRect(label, &client);
    LOGFONTW shape{};
    if (text.empty() || client.right <= 0 || GetObjectW(baseFont, sizeof(shape), &shape) == 0) {
        return {};
    }
    const win32::WindowDc dc(label);
    if (!dc) {
        return {};
    }
    win32::UniqueFont fitted;
    HFONT candidate = baseFont;
    const int baseHeight = std::abs(shape.lfHeight);
    const int smallestHeight = baseHeight * 3 / 4; // stay readable: shrink by a quarter at most
    const int sign = shape.lfHeight < 0 ? -1 : 1;
    shape.lfWidth = 0;
    int height = baseHeight;
    while (height > smallestHeight &&
           wrappedHeight(dc.get(), candidate, text, client.right) > client.bottom) {
        --height;
        shape.lfHeight = sign * height;
        win32::UniqueFont smaller(CreateFontIndirectW(&shape));
        if (!smaller) {
            break;
        }
        fitted = std::move(smaller);
        candidate = fitted.get();
    }
    return fitted;
}

} // namespace velkora::ui
