#include "copy/DriveCheck.h"

#include <string>

#include "copy/CopyTexts.h"
#include "platform/DriveType.h"
#include "text/Utf8.h"

namespace sarvoli::copy {

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The root path of a drive letter as the drive-type query takes it: "E:\", upper-cased.
std::string rootPathOf(char letter) { return std::string{upper(letter)} + ":\\"; }

// Puts the error mode back, however the medium test ends.
class ErrorModeGuard {
public:
    explicit ErrorModeGuard(platform::Drives& platform)
        : m_platform(platform), m_previous(platform.setErrorMode(platform::kFailCriticalErrors))
    {
    }
    ~ErrorModeGuard() { m_platform.setErrorMode(m_previous); }
    ErrorModeGuard(const ErrorModeGuard&) = delete;
    ErrorModeGuard& operator=(const ErrorModeGuard&) = delete;

private:
    platform::Drives& m_platform;
    unsigned m_previous;
};

}  // namespace

bool DiskInDrive(platform::Drives& platform, char letter)
{
    const char drive = upper(letter);
    if (drive < 'A' || drive > 'Z')
        throw DriveLetterError();
    std::int64_t size = -1;
    {
        const ErrorModeGuard guard(platform);
        size = platform.diskSize(drive - 'A' + 1);
    }
    return size != -1;
}

bool DriveAvailable(platform::Drives& platform, char letter,
                    bool& noMedium)
{
    noMedium = false;
    switch (platform.driveType(rootPathOf(letter))) {
    case platform::DriveRemovable:
    case platform::DriveCdRom: {
        const bool hasMedium = DiskInDrive(platform, letter);
        noMedium = !hasMedium;
        return hasMedium;
    }
    case platform::DriveFixed:
    case platform::DriveRemote:
    case platform::DriveRamDisk:
        return true;
    default:
        return false;
    }
}

std::optional<std::string> RunRefusal(platform::Drives& platform, const std::string& source,
                                      const std::string& destination)
{
    if (source.empty() || destination.empty())
        return texts::kNoFolderGiven;
    bool noMedium = false;
    if (DriveAvailable(platform, destination[0], noMedium))
        return std::nullopt;
    // The drive as typed, not upper-cased, and whole when its first character takes several bytes.
    return texts::kNoDriveBefore + destination.substr(0, text::characterEnd(destination, 0)) + texts::kNoDriveAfter;
}

}  // namespace sarvoli::copy
