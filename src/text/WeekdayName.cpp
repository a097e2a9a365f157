#include "text/WeekdayName.h"

#include <array>

namespace sarvoli::text {

std::string WeekdayName(DateTimeValue value)
{
    static const std::array<const char*, 7> kNames = {
        "Sunnuntai", "Maanantai", "Tiistai", "Keskiviikko", "Torstai", "Perjantai", "Lauantai"};
    // Day 1 of the Christian era counts as day 1 of the week cycle: 693594 days before day 0.
    const std::int64_t n = ((wholeDays(value) + 693'594) % 7 + 7) % 7;
    return kNames[static_cast<std::size_t>(n)];
}

}  // namespace sarvoli::text
