#include "app/Reminder.h"

#include "platform/Profile.h"
#include "platform/System.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <chrono>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace platform;
using namespace std::string_literals;

namespace {

TEST(ReminderRuleTest, StoredDates)
{
    // 14 and 15 days ago; each field is the number its leading digits spell, within 48 bytes.
    const std::string nines(20, '9');
    for (const std::string& rdate :
         {"6/1/2024"s, "6/15/99999"s, " 6/\t1/ 2024\r\n"s, nines + "/" + nines + "/" + nines})
        EXPECT_EQ(decideReminderFrom(rdate, 2024, 6, 15), Reminder::NotDue) << rdate;
    for (const std::string& rdate :
         {"5/31/2024"s, "6/0/2024"s, "0/0/0"s, ""s, "-6/1/2024"s, "6/1/20"s + '\0' + "24",
          "\x01\xff\x00\x7f/\x80/\xfe"s, "6/1/" + std::string(44, ' ') + "2024"})
        EXPECT_EQ(decideReminderFrom(rdate, 2024, 6, 15), Reminder::Due)
            << testing::PrintToString(rdate);
    // Month 13 is January of the next year: 10 January 2024, ten days before today.
    EXPECT_EQ(decideReminderFrom("13/10/2023", 2024, 1, 20), Reminder::NotDue);

    using namespace std::chrono;
    const auto offset = dayNumber(1900, 1, 1) - sys_days(1900y / 1 / 1).time_since_epoch().count();
    for (sys_days day = 1899y / 12 / 1; day < 2101y / 3 / 1; day += days(1)) {
        const year_month_day date(day);
        ASSERT_EQ(dayNumber(int(date.year()), unsigned(date.month()), unsigned(date.day())),
                  day.time_since_epoch().count() + offset)
            << int(date.year()) << '-' << unsigned(date.month()) << '-' << unsigned(date.day());
    }
}

TEST(ReminderFileTest, ReadsAndWritesRdateAndLeavesHostileFilesAlone)
{
    testsupport::TestWorld world;
    testsupport::FakeClock clock;
    world.writeFile("rdate", "5/31/2024" + std::string(10240, '\xff'));
    EXPECT_EQ(decideReminder(), Reminder::Due);
    // Today's date replaces a longer file; deciding writes nothing.
    EXPECT_EQ(world.readFile("rdate").size(), 10249u);
    world.writeFile("rdate", std::string(100, '9'));
    clock.setToday(2031, 12, 31);
    WriteReminderDate();
    EXPECT_EQ(world.readFile("rdate"), "12/31/2031");
    EXPECT_NE(fs::status("rdate").permissions() & fs::perms::owner_write, fs::perms::none);

    // A read-only rdate counts as missing and stays as it is; so does a folder.
    fs::permissions("rdate", fs::perms(0444));
    EXPECT_EQ(decideReminder(), Reminder::FirstRun);
    WriteReminderDate();
    EXPECT_EQ(world.readFile("rdate"), "12/31/2031");
    fs::remove("rdate");
    fs::create_directory("rdate");
    EXPECT_EQ(decideReminder(), Reminder::FirstRun);
    WriteReminderDate();
    EXPECT_TRUE(fs::is_directory("rdate"));

    // Pipes, endless devices and over-long settings files are neither waited for nor written.
    fs::remove("rdate");
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

    // A dead writer's temporary file goes with the next write; a live writer's stays.
    const std::string killed = ".oldinfo.tmp2147483646-0",
                      working = ".oldinfo.tmp" + std::to_string(::getppid()) + "-0";
    world.writeFile(killed, "half");
    world.writeFile(working, "half");
    ASSERT_FALSE(sys::replaceFile("oldinfo", "whole").isError());
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(working));
}

} // namespace
