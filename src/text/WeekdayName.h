#pragma once

#include <string>

#include "text/DateTime.h"

namespace sarvoli::text {

// Finnish name of the day of the week of the value's date ("Lauantai" for day 0).
std::string WeekdayName(DateTimeValue value);

}  // namespace sarvoli::text
