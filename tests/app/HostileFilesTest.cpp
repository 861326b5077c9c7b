#include "app/Reminder.h"
#include "platform/Profile.h"
#include "platform/System.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

// Named pipes nobody writes to and devices that never end are no settings or reminder files,
// nor is a settings file over its bound; none of them is waited for or written to.
TEST(HostileFilesTest, OnlyBoundedRegularFilesAreReadAndStaleTemporariesGo)
{
    testsupport::TestWorld world;
    const fs::path ini = world.windowsDir() / "REGISTER.INI";
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600) | ::mkfifo("rdate", 0600), 0);
    EXPECT_EQ(GetPrivateProfileStringA("modem", "DialString", "ATD", "REGISTER.INI"), "ATD");
    EXPECT_FALSE(WritePrivateProfileStringA("modem", "ComPort", "2", "REGISTER.INI"));
    EXPECT_EQ(decideReminder(), Reminder::FirstRun);
    WriteReminderDate();
    EXPECT_TRUE(fs::is_fifo("rdate"));
    fs::remove(ini);
    fs::create_symlink("/dev/zero", ini);
    EXPECT_EQ(GetPrivateProfileIntA("modem", "ComPort", 3, "REGISTER.INI"), 3);
    fs::remove(ini);
    const std::string value(1 << 20, 'x');
    world.writeFile(ini, "[a]\nk=" + value + "\n");
    EXPECT_EQ(GetPrivateProfileStringA("a", "k", "", "REGISTER.INI", 2 << 20), value);
    world.writeFile(ini, "[a]\nk=1\n;" + std::string(4 << 20, ' '));
    EXPECT_EQ(GetPrivateProfileIntA("a", "k", 7, "REGISTER.INI"), 7);

    // A writer killed before its rename leaves its temporary file; the next write removes it,
    // but not the one of a writer still at work.
    const std::string killed = ".oldinfo.tmp2147483646-0";
    const std::string working = ".oldinfo.tmp" + std::to_string(::getppid()) + "-0";
    world.writeFile(killed, "half");
    world.writeFile(working, "half");
    ASSERT_FALSE(sys::replaceFile("oldinfo", "whole").isError());
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(working));
}

} // namespace
