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

// One folder of the source as the walk reads it: read on a worker ahead of the walk, with its
// first entries and the ages of their copies in the destination folder, so that the walk, when
// it comes to the folder, waits on no question of its own for them; or read by the walk as it
// goes. The entries past the first thousand are left to the walk to read, so that memory stays
// small in any folder. A listing read to its end lets its handle go, so that folders waiting for
// the walk hold none.
struct FolderScan {
    static constexpr std::size_t kMostEntries = 1024;

    std::string folderPath;   // the source folder, ending in a backslash
    std::string destination;  // its destination folder, ending in a backslash
    std::string mask;         // the search's pattern
    const Exclusions* exclusions = nullptr;
    bool hidden = false;      // hidden subfolders are walked too

    platform::FolderSearch search;  // open while the listing goes on; or why the folder cannot be
    bool searched = false;  // the folder could be searched
    bool listed = false;    // the search has given its last entry
    std::vector<std::string> subfolders;  // once listed
    std::error_code failure;              // once listed: why the listing broke off, if it did
    std::vector<platform::DirEntry> entries;
    std::vector<std::optional<platform::FileAge>> ages;  // of each file's copy, where asked
    std::optional<platform::FolderId> folderId;  // of the source folder
    platform::FolderPlace destinationPlace;      // what stands at the destination folder's place
    std::int64_t readAt = 0;  // when the reading began, by the platform's monotonic clock
    std::shared_ptr<CopyJob> task;  // the worker's reading

    // Reads the folder ahead of the walk and asks the age of each file's copy: list(), then
    // askAges().
    void read(platform::Platform& platform);
    // Takes over the search of `before`, whose entries are listed, to list the next ones.
    void continues(FolderScan& before);
    // Lists up to the next thousand entries of the search, in place of any listed before.
    void list(platform::Platform& platform);
    // Asks the age of each listed file's copy; a destination folder that is not there is asked
    // about once, not once a file. Uses nothing of the search.
    void askAges(platform::Platform& platform);
    // The search has given its last entry: keeps what the walk needs of it and lets it go.
    void endListing();
};

}  // namespace sarvoli::copy
