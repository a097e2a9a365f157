#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/OpResult.h"
#include "text/FileTime.h"

// Helpers shared by the parts of the Windows platform.
namespace sarvoli::platform {

// The program's 8-bit texts (the system's 8-bit code page, UTF-8 under the program's manifest)
// as the wide calls take them, and back; nothing where a name holds what the code page cannot
// write.
std::wstring wideOf(std::string_view text);
std::optional<std::string> textOf(std::wstring_view wide);
// A path text as the wide calls take it: full, and with "\\?\" ("\\?\UNC\" for a share) before
// it, so that no path is cut at 260 characters and no name in it is changed by the system (a
// trailing dot or blank dropped). A text that holds "." or ".." parts or forward slashes, or
// that is not full, is first made full as the system would make it.
std::wstring systemPathOf(std::string_view pathText);

// Attributes of a file or folder, or kInvalid with the system's error.
DWORD attributesOf(std::string_view path);
bool setAttributes(std::string_view path, DWORD attributes);
// Removes a file, read-only or not.
void removeFile(std::string_view path);

// The system's text for an error code.
std::string reasonOf(DWORD error);
// A failure with the system's text for an error code.
OpResult failure(DWORD error);
// The folder part of a path text, up to and including its last backslash.
std::string folderOf(const std::string& path);

// Why a copy is not made: a folder on its way below the destination root is a link.
extern const char* const kLinkOnTheWay;

inline constexpr DWORD kInvalid = INVALID_FILE_ATTRIBUTES;
// Attributes that make CopyFile and MoveFileEx refuse to replace a file.
inline constexpr DWORD kGuarded = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Errors that tell of a path that is not there.
inline bool isMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

// A file's last-write time as the program compares it: local time in the MS-DOS packed
// form; outside that form's years, the local time itself in two-second steps.
text::FileTime fileTimeOf(const FILETIME& utc);

}  // namespace sarvoli::platform
