#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "text/DateTime.h"
#include "text/RegionalSettings.h"

namespace sarvoli::text {

// Raised when a text cannot be read as a date and time; what() is the user-visible message.
class DateTimeError : public std::runtime_error {
public:
    explicit DateTimeError(std::string_view text);
};

// The date in the short date format, a blank and the time in the long time format; the
// blank and the time are left out when hour, minute and second are all zero.
std::string formatDateTime(DateTimeValue value, const RegionalSettings& settings);

// The date alone in the short date format.
std::string formatDate(DateTimeValue value, const RegionalSettings& settings);

// The time of day alone in the long time format.
std::string formatTime(DateTimeValue value, const RegionalSettings& settings);

// Reads a date-time text. A text that formatDateTime wrote under `settings` is read by its
// picture, literal text included. Any other text is read leniently: the date's numbers in the
// order of the short date format (two numbers mean the current year, a two-digit year falls
// within 50 years of `currentYear`), then optionally a time of one to three numbers separated
// by ':' or '.' or the settings' separator, with an optional AM/PM designator. Throws
// DateTimeError when the text is neither.
DateTimeValue parseDateTime(std::string_view text, const RegionalSettings& settings,
                            int currentYear);

}  // namespace sarvoli::text
