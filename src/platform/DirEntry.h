#pragma once

#include <cstdint>
#include <string>

#include "platform/OpResult.h"
#include "text/FileTime.h"

namespace sarvoli::platform {

// Entry attributes, with the values of the Windows file attributes.
enum Attribute : std::uint32_t {
    ReadOnly = 0x01,
    Hidden = 0x02,
    System = 0x04,
    VolumeLabel = 0x08,
    Directory = 0x10,
    Archive = 0x20,
    ReparsePoint = 0x400,  // a symbolic link or junction
};

// One entry of a directory search.
struct DirEntry {
    std::string name;
    std::uint32_t attributes = 0;
    text::FileTime time;    // last-write time; filled only by a search that asks for details
    std::int64_t size = 0;  // bytes; filled only by a search that asks for details
    OpResult error;         // a failure when the entry could not be examined, and why
};

}  // namespace sarvoli::platform
