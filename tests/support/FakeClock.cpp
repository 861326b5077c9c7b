#include "tests/support/FakeClock.h"

namespace testsupport {

FakeClock::FakeClock(std::uint32_t startTick) : m_tick(startTick)
{
    platform::setClock(this);
}

FakeClock::~FakeClock()
{
    platform::setClock(nullptr);
}

std::uint32_t FakeClock::tickCount()
{
    std::uint32_t tick = m_tick;
    m_tick += m_step; // wraps like the real tick count
    return tick;
}

void FakeClock::sleep(std::uint32_t milliseconds)
{
    m_tick += milliseconds;
    m_slept += milliseconds;
}

} // namespace testsupport
