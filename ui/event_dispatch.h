#pragma once

#include <windows.h>

#include <new>
#include <utility>

#include "platform/error_report.h"
#include "platform/platform_error.h"

namespace velkora::ui {

// The one place where errors stop: every event handler of the window runs through here.
// A platform error goes to the error report (which ends the program); so does anything
// else that escapes a handler, as a generic error, so that nothing crosses a window
// procedure.
template <typename Handler> LRESULT dispatchEvent(ErrorReport& errors, Handler&& handler) noexcept {
    try {
        return std::forward<Handler>(handler)();
    } catch (const PlatformError& error) {
        errors.report(error);
    } catch (const std::bad_alloc&) {
        errors.report(PlatformError(ErrorNumber::OutOfMemory, L"内存不足"));
    } catch (...) {
        errors.report(PlatformError(ErrorNumber::InternalError, L"内部错误"));
    }
    return 0;
}

} // namespace velkora::ui
