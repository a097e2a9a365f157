#pragma once

#include <windows.h>

#include <string>

#include "platform/OpResult.h"
#include "text/FileTime.h"

// Helpers shared by the parts of the Windows platform.
namespace sarvoli::platform {

// The system's text for an error code.
std::string reasonOf(DWORD error);
// A failure with the system's text for an error code.
OpResult failure(DWORD error);
// The folder part of a path text, up to and including its last backslash.
std::string folderOf(const std::string& path);

inline constexpr DWORD kInvalid = INVALID_FILE_ATTRIBUTES;
// Attributes that make CopyFile and MoveFileEx refuse to replace a file.
inline constexpr DWORD kGuarded = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A file's last-write time as the program compares it: local time in the MS-DOS packed
// form; outside that form's years, the local time itself in two-second steps.
text::FileTime fileTimeOf(const FILETIME& utc);

}  // namespace sarvoli::platform
