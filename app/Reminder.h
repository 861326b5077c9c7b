#pragma once

// The reminder rule. The file "rdate" in the working directory (the program's directory)
// holds the date of the last reminder as month/day/year; the user is asked again from the
// 15th day after it.

#include <cstdint>
#include <string_view>

// What the rule says on this start. decideReminder() only reads rdate; the caller rewrites it
// (WriteReminderDate) as each case requires:
//   FirstRun: rdate is missing, read-only or no regular file. Write it, then register
//             without asking.
//   Restart:  rdate holds the year 1. Write it and stop: the interval counts from today.
//   Due:      the interval has passed. Write it first, then ask the user.
//   NotDue:   the interval has not passed. Stop without asking or writing.
enum class Reminder
{
    FirstRun,
    Restart,
    Due,
    NotDue
};

Reminder decideReminder();

// The rule applied to the bytes of rdate (at most the first 48 count) and today's date.
Reminder decideReminderFrom(std::string_view contents, int todayYear, int todayMonth, int todayDay);

// Writes today's date to rdate as "%d/%d/%d" (month/day/year, four-digit year, no line
// end), creating or truncating it. A failure is not reported: the next start simply finds the
// old date, or none.
void WriteReminderDate();

// A count of days on which consecutive calendar days differ by one, for any year, month and
// day however out of range: month 13 is January of the next year, month 0 December of the
// previous one, day 0 the last day of the previous month. Year 0, month 0, day 0 is day 0,
// so year 0 and month 0 give the day field itself. Exact for fields of up to ten digits
// (the rule holds those of rdate at 2^31 - 1), far beyond any real date.
std::int64_t dayNumber(std::int64_t year, std::int64_t month, std::int64_t day);
