#pragma once

#include <chrono>

namespace velkora {

// Time for code that waits and polls, so that tests need not sleep.
class WaitClock {
public:
    virtual ~WaitClock() = default;
    virtual std::chrono::milliseconds now() = 0; // from an arbitrary origin, never going back
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
};

} // namespace velkora
