#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/DriveType.h"

namespace sarvoli::platform {

// A drive letter's host folder, type and medium.
struct Drive {
    std::string hostRoot;  // host folder that the drive's root stands for
    int type = DriveFixed;
    bool hasMedium = true;  // only removable and optical drives can lack one
};

// Maps drive letters to host folders, so that Windows path texts work on a POSIX host.
class DriveTable {
public:
    // The usual table: Z: is the root folder "/".
    static DriveTable standard();

    void set(char letter, Drive drive);
    // The drive of a letter in either case; null when there is none.
    const Drive* find(char letter) const;

    // Host path of a path text "X:\a\b" (or "X:"), with "." and ".." resolved without
    // leaving the drive; nothing when the text names no drive, or a drive without a medium.
    std::optional<std::string> hostPath(std::string_view pathText) const;
    // Path text of an absolute host path on the drive whose root holds it most closely.
    std::optional<std::string> pathText(std::string_view hostPath) const;

private:
    std::array<std::optional<Drive>, 26> m_drives;
};

}  // namespace sarvoli::platform
