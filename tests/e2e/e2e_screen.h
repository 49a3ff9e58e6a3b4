#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velkora::test {

// A copy of part of the screen, as the user sees it.
class ScreenImage {
public:
    static ScreenImage capture(const RECT& screenRect);

    int width() const { return width_; }
    int height() const { return height_; }
    // The colour at a point given in screen coordinates.
    COLORREF at(POINT screenPoint) const;
    // How many pixels of a screen rectangle have exactly that colour.
    int count(const RECT& screenRect, COLORREF colour) const;
    // Saves a 24-bit BMP into the screenshots folder; returns its full path.
    std::wstring save(const std::wstring& name) const;

private:
    RECT origin_{};
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_; // 0x00RRGGBB, top row first
};

// The whole window with its frame (and whatever is on top of it).
ScreenImage captureWindow(HWND window);

} // namespace velkora::test
