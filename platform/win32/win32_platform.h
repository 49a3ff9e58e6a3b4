#pragma once

#include <windows.h>

#include <memory>

#include "platform/non_copyable.h"
#include "platform/platform.h"

namespace velkora::win32 {

// The system services and the window's own (message boxes, the document open, the program's
// folder and end, the error report), owned together. The window registers itself as the
// owner of the message boxes and of the document open once it exists.
class Win32Platform : NonCopyable {
public:
    Win32Platform();
    ~Win32Platform();

    Platform& platform();
    void setOwnerWindow(HWND owner);

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace velkora::win32
