#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Module.h"
#include "platform/WindowsDirectory.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>

using namespace platform;
using testsupport::FakeClock;
using testsupport::ScopedEnv;

namespace {

TEST(WindowsDirectory, FollowsTheEnvironment)
{
    struct Case
    {
        std::optional<std::string> windir, dataHome, home;
        std::string expected;
    };
    const Case cases[] = {
        {"/w", "/data", "/h", "/w"},
        {"/w//", std::nullopt, "/h", "/w"},
        {"/", std::nullopt, "/h", "/"},
        {"", "/data", "/h", "/data/pantrix/windows"},
        {std::nullopt, "relative", "/h", "/h/.local/share/pantrix/windows"},
        {std::nullopt, "", "/h/", "/h/.local/share/pantrix/windows"},
    };
    for (const auto& c : cases) {
        ScopedEnv windir("WINDIR", c.windir), dataHome("XDG_DATA_HOME", c.dataHome),
            home("HOME", c.home);
        EXPECT_EQ(GetWindowsDirectoryA(), c.expected);
    }
}

TEST(Module, KnowsTheProgramAndKeepsTheErrorMode)
{
    EXPECT_EQ(GetModuleFileNameA(), std::filesystem::canonical("/proc/self/exe").string());
    EXPECT_EQ(GetVersion(), 0u);
    unsigned before = SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(before), SEM_FAILCRITICALERRORS);
}

TEST(Clock, SystemClockTicksAndKnowsToday)
{
    std::uint32_t start = GetTickCount();
    platform::clock().sleep(20);
    EXPECT_GE(static_cast<std::uint32_t>(GetTickCount() - start), 20u);

    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    Date today = platform::clock().today();
    EXPECT_EQ(today.year, local.tm_year + 1900);
    EXPECT_EQ(today.month, local.tm_mon + 1);
}

TEST(Clock, FakeClockMovesOnlyWhenAskedAndWraps)
{
    Clock* system = &platform::clock();
    {
        FakeClock fake(0xFFFFFFF0u);
        ASSERT_EQ(&platform::clock(), &fake);
        EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
        EXPECT_EQ(GetTickCount(), 0xFFFFFFF1u);
        fake.setTickStep(0);
        // The plain desktop waits on the clock in use, so a ten-second wait costs nothing.
        auto start = std::chrono::steady_clock::now();
        desktop().pumpMessages(10'000);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(GetTickCount(), 0xFFFFFFF2u + 10'000u);
        EXPECT_EQ(fake.sleptMs(), 10'000u);
        fake.setToday(2004, 12, 26);
        EXPECT_EQ(platform::clock().today().day, 26);
    }
    EXPECT_EQ(&platform::clock(), system);
}

} // namespace
