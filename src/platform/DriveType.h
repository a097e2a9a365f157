#pragma once

namespace sarvoli::platform {

// Drive types with the numbers that the Windows drive-type query answers.
enum DriveType : int {
    DriveUnknown = 0,
    DriveNoRootDir = 1,
    DriveRemovable = 2,
    DriveFixed = 3,
    DriveRemote = 4,
    DriveCdRom = 5,
    DriveRamDisk = 6,
};

// Error-mode flag that keeps the system from asking for a disk itself.
constexpr unsigned kFailCriticalErrors = 0x0001;

}  // namespace sarvoli::platform
