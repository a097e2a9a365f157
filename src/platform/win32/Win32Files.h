#pragma once

#include <windows.h>

#include <string>

#include "text/FileTime.h"

// Helpers shared by the parts of the Windows platform.
namespace sarvoli::platform {

// The system's text for an error code.
std::string reasonOf(DWORD error);

// A file's last-write time as the program compares it: local time in the MS-DOS packed
// form; outside that form's years, the local time itself in two-second steps.
text::FileTime fileTimeOf(const FILETIME& utc);

}  // namespace sarvoli::platform
