#pragma once

#include <cstdint>

namespace sarvoli::text {

// A point in time as a count of days since 30 December 1899 00:00; the whole part is the
// date, the fraction the time of day. Before day 0 the fraction still counts forward from
// midnight of the (negative) whole day, so -1.25 is 29 December 1899 06:00.
using DateTimeValue = double;

struct CalendarDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const CalendarDateTime&, const CalendarDateTime&) = default;
};

// True when the fields name a real date (years 1 to 9999) and a time of day.
bool isValidCalendarDateTime(const CalendarDateTime& dt);

// The value of a valid calendar date and time, to the millisecond.
DateTimeValue encodeDateTime(const CalendarDateTime& dt);

// The calendar date and time of a value, rounded to the nearest millisecond.
CalendarDateTime decodeDateTime(DateTimeValue value);

// The value with the date of `date` and its own time of day.
DateTimeValue withDateOf(DateTimeValue value, DateTimeValue date);

// Whole-day count of a value (the date part).
std::int64_t wholeDays(DateTimeValue value);

// Days from 1 January 1970 to the given civil date (negative before it).
std::int64_t daysFromCivil(int year, int month, int day);

// Seconds since 1970-01-01 00:00 of a local clock reading, as a date-time value.
DateTimeValue dateTimeFromLocalSeconds(std::int64_t localSeconds, int millisecond = 0);

}  // namespace sarvoli::text
