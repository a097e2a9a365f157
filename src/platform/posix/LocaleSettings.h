#pragma once

#include <QLocale>

#include "text/RegionalSettings.h"

namespace sarvoli::platform {

// The date and time formats of a locale in the program's picture language, such that every
// text written with them reads back to the same second: the short date with a four-digit
// year; the long time without its time zone and what only surrounds it, with quoted literal
// text kept and a day period read as AM/PM; the separators as whole characters.
text::RegionalSettings regionalSettingsOf(const QLocale& locale);

}  // namespace sarvoli::platform
