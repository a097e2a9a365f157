#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "copy/CopyPool.h"
#include "copy/Exclusions.h"
#include "platform/Platform.h"

namespace sarvoli::copy {

// Attribute mask of the walk's search: every file, hidden and system files too, no folders.
constexpr std::uint32_t kFileMask = platform::ReadOnly | platform::Hidden | platform::System
                                    | platform::VolumeLabel | platform::Archive;

// One folder of the source, read on a worker ahead of the walk: its first entries and the ages of
// their copies in the destination folder, so that the walk, when it comes to the folder, waits
// on no question of its own for them. The entries past the first thousand are left to the walk
// to read, so that memory stays small in any folder.
struct FolderScan {
    static constexpr std::size_t kMostEntries = 1024;

    std::string folderPath;   // the source folder, ending in a backslash
    std::string destination;  // its destination folder, ending in a backslash
    std::string mask;         // the search's pattern
    const Exclusions* exclusions = nullptr;

    std::unique_ptr<platform::DirSearch> search;  // none when the folder could not be searched
    std::vector<platform::DirEntry> entries;
    std::vector<std::optional<platform::FileAge>> ages;  // of each file's copy, where asked
    bool listed = false;  // the search has given its last entry
    std::optional<platform::FolderId> folderId;       // of the source folder
    std::optional<platform::FolderId> destinationId;  // of the destination folder, when it is there
    std::shared_ptr<CopyJob> task;  // the worker's reading

    // Reads the folder and asks the age of each file's copy; a destination folder that is not
    // there is asked about once, not once a file.
    void read(platform::Platform& platform);
};

}  // namespace sarvoli::copy
