#pragma once

// Installed while it lives; sleep() advances it at once, and each tick count read by a step.

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

    std::uint32_t tickCount() override { return std::exchange(m_tick, m_tick + m_step); }
    platform::Date today() override { return m_today; }
    void sleep(std::uint32_t milliseconds) override { m_tick += milliseconds; }

    void setToday(int year, int month, int day) { m_today = {year, month, day}; }
    void setTickStep(std::uint32_t milliseconds) { m_step = milliseconds; } // 0 stops it
    std::uint32_t now() const { return m_tick; } // without moving the clock

private:
    std::uint32_t m_tick;
    std::uint32_t m_step = 1;
    platform::Date m_today{2024, 6, 15};
};

} // namespace testsupport
