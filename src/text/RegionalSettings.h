#pragma once

#include <string>

namespace sarvoli::text {

// The user's regional formats, in the Windows picture language: d dd M MM yy yyyy for dates,
// H HH h hh m mm s ss for times, t tt or AP ap for the AM/PM designator, '...' for literal text.
// The separators are whole characters, in UTF-8 where they are not ASCII.
struct RegionalSettings {
    std::string shortDate = "d.M.yyyy";
    std::string longTime = "H:mm:ss";
    std::string dateSeparator = ".";
    std::string timeSeparator = ":";

    // Finnish settings of classic Windows, under which the program's stored texts were born.
    static RegionalSettings finnish() { return {}; }
};

// The settings with a two-digit year picture widened to four digits, so that every date
// the program writes reads back to the same day.
RegionalSettings withFourDigitYear(RegionalSettings settings);

}  // namespace sarvoli::text
