#pragma once

#include <windows.h>

#include <memory>

#include "platform/platform.h"

namespace velkora::win32 {

// The real services, owned together. The window registers itself as the owner of the
// message boxes and of the document open once it exists.
class Win32Platform {
public:
    Win32Platform();
    ~Win32Platform();
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    Platform& platform();
    void setOwnerWindow(HWND owner);

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

} // namespace velkora::win32
