#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace platform {

namespace {

class SystemClock final : public Clock
{
public:
    std::uint32_t tickCount() override
    {
        // The steady clock never jumps when the user sets the time; the cast wraps it around
        // every 49.7 days like the Win32 tick count, so callers must compare by difference.
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(elapsed.count());
    }

    Date today() override
    {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        return Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    }

    void sleep(std::uint32_t milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

SystemClock systemClock;
std::atomic<Clock*> installed{nullptr};

} // namespace

Clock& clock()
{
    Clock* replacement = installed.load();
    return replacement ? *replacement : systemClock;
}

void setClock(Clock* replacement)
{
    installed.store(replacement);
}

} // namespace platform
