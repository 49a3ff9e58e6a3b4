#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include "platform/win32/unique_handles.h"

namespace velkora::ui {

// The banner JPEG of the exe's resources, decoded once by OLE and drawn scaled into any
// rectangle.
class Banner {
public:
    // Raises PlatformError when the resource is missing or cannot be decoded.
    explicit Banner(HINSTANCE instance);

    void draw(HDC dc, const RECT& target) const;

private:
    win32::ComPtr<IPicture> picture_;
};

} // namespace velkora::ui
