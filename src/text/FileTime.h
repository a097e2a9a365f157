#pragma once

#include <compare>
#include <cstdint>
#include <optional>

#include "text/DateTime.h"

namespace sarvoli::text {

// A file's last-write time as the program compares it: local time with two-second
// resolution, odd seconds truncated. Within 1980 to 2107 it is exactly the MS-DOS packed
// form; outside that range it keeps counting, so such files still compare by their age.
class FileTime {
public:
    FileTime() = default;

    // From a UTC time in seconds since 1970 and the UTC offset to apply (seconds east).
    static FileTime fromUtc(std::int64_t utcSeconds, std::int64_t utcOffsetSeconds);
    // From a local clock reading in seconds since 1970-01-01 00:00 local.
    static FileTime fromLocalSeconds(std::int64_t localSeconds);
    // From MS-DOS packed form: date in the high word, time in the low word.
    static std::optional<FileTime> fromDosPacked(std::uint32_t packed);

    // The MS-DOS packed form, or nothing outside 1980-01-01 .. 2107-12-31.
    std::optional<std::uint32_t> dosPacked() const;
    // As a date-time value, for display.
    DateTimeValue toDateTime() const;
    std::int64_t localSeconds() const { return m_localSeconds; }

    friend auto operator<=>(const FileTime&, const FileTime&) = default;

private:
    explicit FileTime(std::int64_t localSeconds) : m_localSeconds(localSeconds) {}
    std::int64_t m_localSeconds = 0;  // always even
};

}  // namespace sarvoli::text
