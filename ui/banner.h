#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::ui {

// The banner JPEG, decoded once into a 32-bit DIB section and drawn into any rectangle.
class Banner {
public:
    // From the exe's resources. Raises PlatformError when the resource is missing or
    // cannot be decoded.
    explicit Banner(HINSTANCE instance);
    // From JPEG bytes. Raises PlatformError when they cannot be decoded.
    Banner(const void* jpeg, std::size_t size);

    SIZE size() const { return size_; }
    HBITMAP bitmap() const { return bitmap_.get(); }

    // Copies the image at its natural size, or scales it with halftoning at other sizes.
    void draw(HDC dc, const RECT& target) const;

private:
    void decode(const void* jpeg, std::size_t size);

    win32::UniqueBitmap bitmap_;
    SIZE size_{};
};

} // namespace velkora::ui
