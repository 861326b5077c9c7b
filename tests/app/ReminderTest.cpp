#include "app/Reminder.h"

#include "tests/support/FakeClock.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Today is 15 June 2024 in every case.
TEST(ReminderRuleTest, StoredDates)
{
    const auto Due = Reminder::Due, NotDue = Reminder::NotDue, Restart = Reminder::Restart;
    struct Case
    {
        std::string rdate;
        Reminder expected;
    } cases[] = {
        {"6/1/2024", NotDue}, // 14 days ago
        {"5/31/2024", Due},   // 15 days ago
        {"12/24/2030", NotDue},
        {"1/1/1", Restart},
        {"12/31/01", Restart},
        // Out-of-range months and days run on into the neighbouring months and years.
        {"18/1/2023", NotDue}, // 1 June 2024
        {"17/31/2023", Due},   // 31 May 2024
        {"6/0/2024", Due},     // 31 May
        {"7/0/2024", NotDue},  // 30 June
        {"1/152/2024", Due},   // 31 May, across the leap day
        {"1/153/2024", NotDue},
        {"0/15/2024", Due}, // 15 December 2023
        {"0/0/0", Due},
        {"6/15/99999", NotDue},
        {"99999999999999999999/99999999999999999999/99999999999999999999", NotDue},
        // Whatever the bytes, each field is the number its leading digits spell.
        {"", Due},
        {"5/31", Due},
        {" 6/\t1/ 2024\r\n", NotDue},
        {"6/1/2024/7", NotDue},         // the year runs on past another '/'
        {"-6/1/2024", Due},             // no sign: month 0
        {"6/1/20"s + '\0' + "24", Due}, // the year ends at a zero byte
        {"6\0/1/2024"s, NotDue},
        {"\x01\xff\x00\x7f/\x80/\xfe"s, Due},
        {"6/1/" + std::string(44, ' ') + "2024", Due}, // the year lies past 48 bytes
        {"5/31/2024" + std::string(10240, '\xff'), Due},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decideReminderFrom(c.rdate, 2024, 6, 15), c.expected)
            << '"' << c.rdate.substr(0, 60) << '"';
}

TEST(ReminderRuleTest, DayNumbersCountCalendarDays)
{
    using namespace std::chrono;
    const auto offset = dayNumber(1900, 1, 1) - sys_days(1900y / 1 / 1).time_since_epoch().count();
    for (sys_days day = 1899y / 12 / 1; day < 2101y / 3 / 1; day += days(1)) {
        const year_month_day date(day);
        ASSERT_EQ(dayNumber(int(date.year()), unsigned(date.month()), unsigned(date.day())),
                  day.time_since_epoch().count() + offset)
            << int(date.year()) << '-' << unsigned(date.month()) << '-' << unsigned(date.day());
    }
    EXPECT_EQ(dayNumber(2023, 25, 1), dayNumber(2025, 1, 1));
    EXPECT_EQ(dayNumber(2024, 0, 1), dayNumber(2023, 12, 1));
    EXPECT_EQ(dayNumber(2023, 3, 0), dayNumber(2023, 2, 28));
    for (std::int64_t day : {0, 1, 31, 99999})
        EXPECT_EQ(dayNumber(0, 0, day), day);
}

class ReminderFileTest : public ::testing::Test
{
protected:
    void SetUp() override { clock.setToday(2024, 6, 15); }

    testsupport::TestWorld world;
    testsupport::FakeClock clock;
};

TEST_F(ReminderFileTest, DecidesFromTheFileInTheWorkingDirectoryWithoutWriting)
{
    EXPECT_EQ(decideReminder(), Reminder::FirstRun);
    EXPECT_FALSE(world.exists("rdate"));
    world.writeFile("rdate", "1/1/1");
    EXPECT_EQ(decideReminder(), Reminder::Restart);
    world.writeFile("rdate", "6/1/2024");
    EXPECT_EQ(decideReminder(), Reminder::NotDue);
    world.writeFile("rdate", "5/31/2024" + std::string(10240, '\xff'));
    EXPECT_EQ(decideReminder(), Reminder::Due);
    world.writeFile("rdate", "");
    EXPECT_EQ(decideReminder(), Reminder::Due);
    EXPECT_EQ(world.readFile("rdate"), "");
}

TEST_F(ReminderFileTest, UnwritableRdateCountsAsMissingAndStaysAsItIs)
{
    world.writeFile("rdate", "6/1/2024");
    fs::permissions("rdate",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(decideReminder(), Reminder::FirstRun);
    WriteReminderDate();
    EXPECT_EQ(world.readFile("rdate"), "6/1/2024");

    fs::remove("rdate");
    fs::create_directory("rdate");
    EXPECT_EQ(decideReminder(), Reminder::FirstRun);
    WriteReminderDate();
    EXPECT_TRUE(fs::is_directory("rdate"));
}

TEST_F(ReminderFileTest, WriteReminderDateWritesTodayWhole)
{
    world.writeFile("rdate", std::string(100, '9'));
    clock.setToday(1999, 7, 4);
    WriteReminderDate();
    EXPECT_EQ(world.readFile("rdate"), "7/4/1999");
    clock.setToday(2031, 12, 31);
    WriteReminderDate();
    EXPECT_EQ(world.readFile("rdate"), "12/31/2031");
    EXPECT_NE(fs::status("rdate").permissions() & fs::perms::owner_write, fs::perms::none);

    // The next reminder is due from the 15th day after the date written.
    clock.setToday(2032, 1, 14);
    EXPECT_EQ(decideReminder(), Reminder::NotDue);
    clock.setToday(2032, 1, 15);
    EXPECT_EQ(decideReminder(), Reminder::Due);
}

} // namespace
