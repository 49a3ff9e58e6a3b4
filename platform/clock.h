#pragma once

namespace velkora {

struct Date {
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual Date today() = 0; // local time
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
