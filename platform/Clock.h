#pragma once

// The time as the program sees it. Every wait, time limit and date goes through clock(), so
// that a test can replace it with a clock of its own and a ten-second wait costs nothing.

#include <cstdint>

namespace platform {

struct Date
{
    int year = 0;  // four digits
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
};

class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds since some fixed start, wrapping like the Win32 tick count.
    virtual std::uint32_t tickCount() = 0;
    // Today's date in local time.
    virtual Date today() = 0;
    // Lets time pass: sleeps on the real clock, advances a test's clock.
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

// The clock in use: the system clock unless a test has installed its own.
Clock& clock();
// Installs a clock; nullptr restores the system clock. The caller keeps ownership.
void setClock(Clock* replacement);

inline std::uint32_t GetTickCount()
{
    return clock().tickCount();
}

} // namespace platform
