#pragma once

#include <windows.h>

#include <memory>

#include "platform/platform.h"

#include "platform/non_copyable.h"

namespace velkora::win32 {

// The real services, owned together. The window registers itself as the owner of the
// message boxes and of the document open once it exists.
class Win32Platform : NonCopyable {
public:
    Win32Platform();
    ~Win32Platform();

    Platform& platform();
    void setOwnerWindow(HWND owner);

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

} // namespace velkora::win32
