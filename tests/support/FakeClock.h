#pragma once

// Installed while it lives; sleep() advances it at once, and each tick count read by a step.

#include "platform/Clock.h"

#include <cstdint>

namespace testsupport {

struct FakeClock final : platform::Clock
{
    explicit FakeClock(std::uint32_t startTick = 1000) : m_tick(startTick)
    {
        platform::setClock(this);
    }
    ~FakeClock() override { platform::setClock(nullptr); }

    std::uint32_t tickCount() override { return m_tick++; }
    platform::Date today() override { return m_today; }
    void sleep(std::uint32_t milliseconds) override { m_tick += milliseconds; }

    void setToday(int year, int month, int day) { m_today = {year, month, day}; }
    std::uint32_t now() const { return m_tick; } // without moving the clock

    std::uint32_t m_tick;
    platform::Date m_today{2024, 6, 15};
};

} // namespace testsupport
