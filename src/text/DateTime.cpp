#include "text/DateTime.h"

#include <cmath>

namespace sarvoli::text {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Day 0 of the date-time value (1899-12-30) counted from 1970-01-01.
constexpr std::int64_t kUnixEpochDay = -25'569;

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
void civilFromDays(std::int64_t z, int& year, int& month, int& day)
{
    z += 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t doe = z - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

std::int64_t daysFromCivil(int year, int month, int day)
{
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146'097 + doe - 719'468;
}

bool isValidCalendarDateTime(const CalendarDateTime& dt)
{
    return dt.year >= 1 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 && dt.day >= 1
           && dt.day <= daysInMonth(dt.year, dt.month) && dt.hour >= 0 && dt.hour < 24
           && dt.minute >= 0 && dt.minute < 60 && dt.second >= 0 && dt.second < 60
           && dt.millisecond >= 0 && dt.millisecond < 1000;
}

DateTimeValue encodeDateTime(const CalendarDateTime& dt)
{
    const std::int64_t days = daysFromCivil(dt.year, dt.month, dt.day) - kUnixEpochDay;
    const double fraction =
        static_cast<double>(((dt.hour * 60 + dt.minute) * 60 + dt.second) * 1000LL + dt.millisecond)
        / static_cast<double>(kMsPerDay);
    // Before day 0 the time of day still counts forward, so it moves the value towards zero.
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

std::int64_t wholeDays(DateTimeValue value) { return static_cast<std::int64_t>(std::trunc(value)); }

CalendarDateTime decodeDateTime(DateTimeValue value)
{
    std::int64_t days = wholeDays(value);
    std::int64_t ms = std::llround(std::fabs(value - static_cast<double>(days)) * kMsPerDay);
    if (ms >= kMsPerDay) {  // rounding reached the next midnight; time always runs forward
        ms -= kMsPerDay;
        ++days;
    }
    CalendarDateTime dt;
    civilFromDays(days + kUnixEpochDay, dt.year, dt.month, dt.day);
    dt.millisecond = static_cast<int>(ms % 1000);
    const std::int64_t secs = ms / 1000;
    dt.second = static_cast<int>(secs % 60);
    dt.minute = static_cast<int>(secs / 60 % 60);
    dt.hour = static_cast<int>(secs / 3600);
    return dt;
}

DateTimeValue dateTimeFromLocalSeconds(std::int64_t localSeconds, int millisecond)
{
    std::int64_t days = localSeconds / 86'400;
    std::int64_t secs = localSeconds % 86'400;
    if (secs < 0) {
        secs += 86'400;
        --days;
    }
    CalendarDateTime dt;
    civilFromDays(days, dt.year, dt.month, dt.day);
    dt.hour = static_cast<int>(secs / 3600);
    dt.minute = static_cast<int>(secs / 60 % 60);
    dt.second = static_cast<int>(secs % 60);
    dt.millisecond = millisecond;
    return encodeDateTime(dt);
}

DateTimeValue withDateOf(DateTimeValue value, DateTimeValue date)
{
    CalendarDateTime dt = decodeDateTime(value);
    const CalendarDateTime d = decodeDateTime(date);
    dt.year = d.year;
    dt.month = d.month;
    dt.day = d.day;
    return encodeDateTime(dt);
}

}  // namespace sarvoli::text
