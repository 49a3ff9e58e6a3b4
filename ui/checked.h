#pragma once

#include <windows.h>

#include "platform/platform_error.h"

namespace velkora::ui {

// Returns the result of a Win32 call that reports failure as null, 0 or FALSE, and raises
// the thread's last error with the window's own description of what failed otherwise.
template <typename Result> Result checked(Result result, const wchar_t* whatFailed) {
    if (!result) {
        throw PlatformError(static_cast<long>(GetLastError()), whatFailed);
    }
    return result;
}

} // namespace velkora::ui
