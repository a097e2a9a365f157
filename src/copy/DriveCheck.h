#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "copy/CopyTexts.h"
#include "platform/Platform.h"

namespace sarvoli::copy {

// Raised by the medium test for a character that is no drive letter.
class DriveLetterError : public std::runtime_error {
public:
    DriveLetterError() : std::runtime_error(texts::kNotADriveLetter) {}
};

// True when the drive of `letter` can take a copy: fixed, network and RAM drives always,
// removable and optical drives when they hold a readable medium, nothing else. Sets
// `noMedium` when a removable or optical drive lacks its medium.
bool DriveAvailable(platform::Drives& platform, char letter,
                    bool& noMedium);

// True when the drive of `letter` holds a readable medium; asks without letting the system
// prompt for a disk. It may wait on the drive: a run asks it on a thread of its own. Throws DriveLetterError for a character that is not a letter.
bool DiskInDrive(platform::Drives& platform, char letter);

// Why a Copy of `source` to `destination` cannot start, as the user is told it: a folder not
// given, or a destination drive that is missing or unusable; nothing when it can start.
// Throws DriveLetterError as DriveAvailable does.
std::optional<std::string> RunRefusal(platform::Drives& platform, const std::string& source,
                                      const std::string& destination);

}  // namespace sarvoli::copy
