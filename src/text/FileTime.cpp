#include "text/FileTime.h"

namespace sarvoli::text {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

}  // namespace

FileTime FileTime::fromLocalSeconds(std::int64_t localSeconds)
{
    return FileTime(floorDiv(localSeconds, 2) * 2);
}

FileTime FileTime::fromUtc(std::int64_t utcSeconds, std::int64_t utcOffsetSeconds)
{
    return fromLocalSeconds(utcSeconds + utcOffsetSeconds);
}

std::optional<FileTime> FileTime::fromDosPacked(std::uint32_t packed)
{
    const std::uint32_t date = packed >> 16;
    const std::uint32_t time = packed & 0xFFFF;
    CalendarDateTime dt;
    dt.year = static_cast<int>(1980 + (date >> 9));
    dt.month = static_cast<int>((date >> 5) & 0x0F);
    dt.day = static_cast<int>(date & 0x1F);
    dt.hour = static_cast<int>(time >> 11);
    dt.minute = static_cast<int>((time >> 5) & 0x3F);
    dt.second = static_cast<int>((time & 0x1F) * 2);
    if (!isValidCalendarDateTime(dt))
        return std::nullopt;
    const std::int64_t days = daysFromCivil(dt.year, dt.month, dt.day);
    return FileTime(days * 86'400 + dt.hour * 3600 + dt.minute * 60 + dt.second);
}

std::optional<std::uint32_t> FileTime::dosPacked() const
{
    const std::int64_t days = floorDiv(m_localSeconds, 86'400);
    const std::int64_t secs = m_localSeconds - days * 86'400;
    if (days < daysFromCivil(1980, 1, 1) || days > daysFromCivil(2107, 12, 31))
        return std::nullopt;
    const DateTimeValue dayValue = dateTimeFromLocalSeconds(days * 86'400);
    const CalendarDateTime dt = decodeDateTime(dayValue);
    const auto date = static_cast<std::uint32_t>(((dt.year - 1980) << 9) | (dt.month << 5) | dt.day);
    const auto time = static_cast<std::uint32_t>(((secs / 3600) << 11) | ((secs / 60 % 60) << 5) | (secs % 60 / 2));
    return (date << 16) | time;
}

DateTimeValue FileTime::toDateTime() const { return dateTimeFromLocalSeconds(m_localSeconds); }

}  // namespace sarvoli::text
