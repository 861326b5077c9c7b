#pragma once

// A clock for tests. Time moves only when the test or the code under test says so: sleep()
// advances it at once, and every read of the tick count moves it on by a small step (1 ms
// unless set otherwise), so that a loop that polls the clock until a time limit always ends.
// The clock installs itself when made and the system clock is back when it goes.

#include "platform/Clock.h"

#include <cstdint>
#include <utility>

namespace testsupport {

class FakeClock final : public platform::Clock
{
public:
    explicit FakeClock(std::uint32_t startTick = 1000) : m_tick(startTick)
    {
        platform::setClock(this);
    }
    ~FakeClock() override { platform::setClock(nullptr); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    std::uint32_t tickCount() override { return std::exchange(m_tick, m_tick + m_step); }
    platform::Date today() override { return m_today; }
    void sleep(std::uint32_t milliseconds) override
    {
        m_tick += milliseconds;
        m_slept += milliseconds;
    }

    void setToday(int year, int month, int day) { m_today = {year, month, day}; }
    void advance(std::uint32_t milliseconds) { m_tick += milliseconds; }
    // How far each read of the tick count moves the clock; 0 stops it.
    void setTickStep(std::uint32_t milliseconds) { m_step = milliseconds; }
    void setTick(std::uint32_t tick) { m_tick = tick; }
    // The tick count without moving the clock.
    std::uint32_t now() const { return m_tick; }
    // All the time that sleep() was asked for.
    std::uint64_t sleptMs() const { return m_slept; }

private:
    std::uint32_t m_tick;
    std::uint32_t m_step = 1;
    std::uint64_t m_slept = 0;
    platform::Date m_today{2024, 6, 15};
};

} // namespace testsupport
