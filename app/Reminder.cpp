#include "app/Reminder.h"

#include "platform/Clock.h"
#include "platform/System.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

// How the reminder works: every start reads rdate. A missing file means a first run; the
// date is written and the user goes straight to the registration. Otherwise the three
// numbers are read back. The year 1 is a mark that an installer can leave to restart the
// interval without asking. Any other date is turned into a day number and compared with
// today: past the interval, the user is asked (and the date rewritten before asking, so
// that a "No" or an abandoned registration is reminded again two weeks later).
//
// The file is parsed as leniently as it is written carelessly by hand or by other tools:
// whatever the bytes, each field gives the number its leading digits spell, 0 when there
// are none, so that garbage reads as a long-past date and the user is asked.

namespace {

constexpr char reminderFile[] = "rdate";
constexpr std::size_t bytesRead = 48;
constexpr std::int64_t reminderInterval = 14;

// Numbers beyond this are held at it: no field can overflow, and no real date comes near.
constexpr std::int64_t largestField = std::numeric_limits<std::int32_t>::max();

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The decimal number at the start of field: blanks skipped, digits until the first other
// character, 0 when there are none.
std::int64_t fieldValue(std::string_view field)
{
    std::size_t i = 0;
    while (i < field.size() && isBlank(field[i]))
        ++i;
    std::int64_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        value = std::min(value * 10 + (field[i] - '0'), largestField);
    return value;
}

std::int64_t floorDivide(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// Days from 1 March of year 0 of the proleptic Gregorian calendar to the given valid date
// (H. Hinnant's days_from_civil, on a year that starts in March so the leap day comes last).
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = floorDivide(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

// rdate may exist yet be read-only: then it counts as missing. That is how the Windows
// read-only attribute behaves for every user; its counterpart here is a file without any
// write permission, which the administrator could otherwise still open for writing.
bool isReadOnly(const struct stat& status)
{
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

std::int64_t dayNumber(std::int64_t year, std::int64_t month, std::int64_t day)
{
    // Month 0 is December of the year before, month 13 January of the year after.
    const std::int64_t yearsCarried = floorDivide(month - 1, 12);
    const std::int64_t firstOfMonth =
        daysFromCivil(year + yearsCarried, month - 1 - yearsCarried * 12 + 1, 1);
    static const std::int64_t origin = daysFromCivil(-1, 12, 1) - 1;
    return firstOfMonth - origin + day - 1;
}

Reminder decideReminderFrom(std::string_view contents, int todayYear, int todayMonth, int todayDay)
{
    contents = contents.substr(0, std::min(contents.size(), bytesRead));

    // month/day/year; the year runs to a zero byte, the others to the next '/'.
    const std::size_t firstSlash = std::min(contents.find('/'), contents.size());
    const std::string_view monthField = contents.substr(0, firstSlash);
    std::string_view rest = contents.substr(std::min(firstSlash + 1, contents.size()));
    const std::size_t secondSlash = std::min(rest.find('/'), rest.size());
    const std::string_view dayField = rest.substr(0, secondSlash);
    rest = rest.substr(std::min(secondSlash + 1, rest.size()));
    const std::string_view yearField = rest.substr(0, std::min(rest.find('\0'), rest.size()));

    const std::int64_t month = fieldValue(monthField);
    const std::int64_t day = fieldValue(dayField);
    const std::int64_t year = fieldValue(yearField);
    if (year == 1)
        return Reminder::Restart;
    const std::int64_t today = dayNumber(todayYear, todayMonth, todayDay);
    return today > dayNumber(year, month, day) + reminderInterval ? Reminder::Due
                                                                  : Reminder::NotDue;
}

Reminder decideReminder()
{
    namespace sys = platform::sys;
    // Only a regular file is a reminder: a named pipe would keep the read waiting for a writer
    // (O_NONBLOCK lets the open return so that fstat can tell), and a device may never end.
    auto opened = sys::open(reminderFile, O_RDWR | O_NONBLOCK);
    if (opened.isError())
        return Reminder::FirstRun;
    sys::UniqueFd file(opened.value());
    struct stat status
    {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || isReadOnly(status))
        return Reminder::FirstRun;

    // One read, as the file is written in one piece; what it does not bring counts as absent.
    std::string contents(bytesRead, '\0');
    auto count = sys::read(file.get(), contents.data(), contents.size());
    contents.resize(count.isError() ? 0 : count.value());
    file.reset();

    const platform::Date today = platform::clock().today();
    return decideReminderFrom(contents, today.year, today.month, today.day);
}

void WriteReminderDate()
{
    namespace sys = platform::sys;
    const platform::Date today = platform::clock().today();
    char date[48];
    const int length =
        std::snprintf(date, sizeof date, "%d/%d/%d", today.month, today.day, today.year);

    // A read-only file is left whole (see isReadOnly), even where the open would be allowed.
    struct stat status
    {};
    if (::stat(reminderFile, &status) == 0 && isReadOnly(status))
        return;
    // Without O_NONBLOCK a named pipe of that name would wait for a reader.
    auto opened = sys::open(reminderFile, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK, 0666);
    if (opened.isError())
        return;
    sys::UniqueFd file(opened.value());
    (void)sys::writeAll(file.get(), std::string_view(date, static_cast<std::size_t>(length)));
}
