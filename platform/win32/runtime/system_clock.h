#pragma once

#include "platform/clock.h"

namespace velkora::win32 {

// The local date; GetTickCount64 and Sleep for waiting; the system time for deadlines.
class SystemClock final : public Clock {
public:
    Date today() override;
    std::chrono::milliseconds now() override;
    void sleepFor(std::chrono::milliseconds duration) override;
    std::int64_t utcSeconds() override;
};

} // namespace velkora::win32
