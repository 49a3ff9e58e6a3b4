#pragma once

#include <chrono>
#include <cstdint>

namespace velkora {

struct Date {
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
};

// The date for the window's credit line, time for code that waits and polls (so that tests
// need not sleep), and the wall clock for deadlines that outlive the process.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Date today() = 0;                    // local time
    virtual std::chrono::milliseconds now() = 0; // from an arbitrary origin, never going back
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    virtual std::int64_t utcSeconds() = 0; // the wall clock, in seconds since 1970 UTC
};

inline int year(const Date& d) {
    return d.year;
}
inline int month(const Date& d) {
    return d.month;
}
inline int day(const Date& d) {
    return d.day;
}

} // namespace velkora
