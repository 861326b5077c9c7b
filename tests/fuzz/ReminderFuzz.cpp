#include "app/Reminder.h"
#include "tests/fuzz/Fuzz.h"

#include <chrono>

using namespace std::chrono;

static Reminder decide(std::string_view rdate, sys_days day)
{
    const year_month_day date(day);
    return decideReminderFrom(rdate, int(date.year()), int(unsigned(date.month())),
                              int(unsigned(date.day())));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const sys_days epoch = 2000y / 1 / 1,
                   today =
                       epoch + days((data[0] << 16 | data[1] << 8 | data[2]) % 0x800000 - 0x400000);
    const std::string rdate(reinterpret_cast<const char*>(data) + 3, size - 3);
    const Reminder now = decide(rdate, today);
    FUZZ_CHECK(rdate.size() < 48 || decide(rdate.substr(0, 48) + "9/9/9", today) == now);
    FUZZ_CHECK(now != Reminder::Due || decide(rdate, today + days(1)) == Reminder::Due);
    FUZZ_CHECK(now != Reminder::NotDue || decide(rdate, today - days(1)) == Reminder::NotDue);

    const year_month_day date(today);
    const std::int64_t y = int(date.year()), m = unsigned(date.month()), d = unsigned(date.day());
    FUZZ_CHECK(dayNumber(y, m, d + 1) == dayNumber(y, m, d) + 1);
    FUZZ_CHECK(dayNumber(y, m, d) - dayNumber(2000, 1, 1) == (today - epoch).count());
    const std::string written =
        std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
    FUZZ_CHECK(y < 2 || decide(written, today + days(14)) == Reminder::NotDue);
    FUZZ_CHECK(y < 2 || decide(written, today + days(15)) == Reminder::Due);
    return 0;
}
