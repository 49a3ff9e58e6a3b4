#include "tests/e2e/e2e_screen.h"

#include "tests/e2e/e2e_environment.h"

namespace velkora::test {

ScreenImage ScreenImage::capture(const RECT& screenRect) {
    ScreenImage image;
    image.origin_ = screenRect;
    image.width_ = screenRect.right - screenRect.left;
    image.height_ = screenRect.bottom - screenRect.top;
    if (image.width_ <= 0 || image.height_ <= 0) {
        image.width_ = image.height_ = 0;
        return image;
    }
    image.pixels_.assign(static_cast<size_t>(image.width_) * image.height_, 0);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width_;
    info.bmiHeader.biHeight = -image.height_; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, image.width_, image.height_, screen, screenRect.left, screenRect.top,
           SRCCOPY);
    GdiFlush();
    memcpy(image.pixels_.data(), bits, image.pixels_.size() * sizeof(std::uint32_t));
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    for (std::uint32_t& pixel : image.pixels_) {
        pixel &= 0x00FFFFFF;
    }
    return image;
}

COLORREF ScreenImage::at(POINT screenPoint) const {
    const int x = screenPoint.x - origin_.left;
    const int y = screenPoint.y - origin_.top;
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return CLR_INVALID;
    }
    const std::uint32_t pixel = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

int ScreenImage::count(const RECT& screenRect, COLORREF colour) const {
    int matches = 0;
    for (LONG y = screenRect.top; y < screenRect.bottom; ++y) {
        for (LONG x = screenRect.left; x < screenRect.right; ++x) {
            matches += at({x, y}) == colour ? 1 : 0;
        }
    }
    return matches;
}

std::wstring ScreenImage::save(const std::wstring& name) const {
    CreateDirectoryW(screenshotsFolder().c_str(), nullptr);
    const std::wstring path = screenshotsFolder() + L"\\" + name + L".bmp";
    const int rowBytes = (width_ * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width_;
    header.biHeight = height_; // bottom row first, as BMP files have it
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(rowBytes * height_);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + header.biSizeImage;

    std::vector<std::uint8_t> rows(header.biSizeImage, 0);
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* row = rows.data() + static_cast<size_t>(height_ - 1 - y) * rowBytes;
        for (int x = 0; x < width_; ++x) {
            const std::uint32_t pixel = pixels_[static_cast<size_t>(y) * width_ + x];
            row[x * 3 + 0] = pixel & 0xFF;
            row[x * 3 + 1] = (pixel >> 8) & 0xFF;
            row[x * 3 + 2] = (pixel >> 16) & 0xFF;
        }
    }
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, &file, sizeof(file), &written, nullptr);
        WriteFile(out, &header, sizeof(header), &written, nullptr);
        WriteFile(out, rows.data(), static_cast<DWORD>(rows.size()), &written, nullptr);
        CloseHandle(out);
    }
    return path;
}

ScreenImage captureWindow(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return ScreenImage::capture(rect);
}

} // namespace velkora::test
