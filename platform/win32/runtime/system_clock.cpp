#include "platform/win32/runtime/system_clock.h"

#include <windows.h>

namespace velkora::win32 {

Date SystemClock::today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return Date{now.wYear, now.wMonth, now.wDay};
}

std::chrono::milliseconds SystemClock::now() {
    return std::chrono::milliseconds(GetTickCount64());
}

void SystemClock::sleepFor(std::chrono::milliseconds duration) {
    Sleep(static_cast<DWORD>(duration.count()));
}

std::int64_t SystemClock::utcSeconds() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) |
                               now.dwLowDateTime; // 100 ns since 1601
    constexpr std::int64_t from1601To1970 = 11644473600;
    return ticks / 10000000 - from1601To1970;
}

} // namespace velkora::win32
