#include "platform/win32/clock.h"

#include <windows.h>

namespace velkora::win32 {

Date LocalClock::today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return Date{now.wYear, now.wMonth, now.wDay};
}

} // namespace velkora::win32
