#include "copy/FolderScan.h"

namespace sarvoli::copy {

void FolderScan::endListing()
{
    listed = true;
    subfolders = search->subfolders(hidden);
    failure = search->failure();
    search = {};
}

void FolderScan::read(platform::Platform& platform)
{
    readAt = platform.monotonicNanos();
    folderId = platform.folderId(folderPath);
    search = platform.findFirst(folderPath, mask, kFileMask, true);
    searched = static_cast<bool>(search);
    if (!searched)
        return;
    list(platform);
    askAges(platform);
}

void FolderScan::continues(FolderScan& before)
{
    folderPath = before.folderPath;
    destination = before.destination;
    mask = before.mask;
    exclusions = before.exclusions;
    hidden = before.hidden;
    searched = true;
    search = std::move(before.search);
}

void FolderScan::list(platform::Platform& platform)
{
    readAt = platform.monotonicNanos();
    entries.clear();
    platform::DirEntry entry;
    while (entries.size() < kMostEntries) {
        if (!search->next(entry)) {
            endListing();
            break;
        }
        entries.push_back(std::move(entry));
    }
}

void FolderScan::askAges(platform::Platform& platform)
{
    ages.assign(entries.size(), std::nullopt);
    destinationPlace = platform.folderPlace(destination);
    // Nothing is copied through a link. A destination folder that is not there holds no copy;
    // one that cannot be told is asked a file at a time, so that each file says why.
    if (destinationPlace.kind == platform::FolderPlace::Link)
        return;
    const bool there = destinationPlace.kind == platform::FolderPlace::Folder || !destinationPlace.result.ok;
    std::vector<std::size_t> asked;
    std::vector<std::string_view> names;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const platform::DirEntry& e = entries[i];
        if ((e.attributes & platform::Directory) || !e.error.ok || e.name.find('\\') != std::string::npos
            || exclusions->excludes(e.name))
            continue;
        if (!there) {
            ages[i] = platform::FileAge{};
            continue;
        }
        asked.push_back(i);
        names.push_back(e.name);
    }
    if (names.empty())
        return;
    const std::vector<platform::FileAge> found = platform.fileAges(destination, names);
    for (std::size_t k = 0; k < asked.size() && k < found.size(); ++k)
        ages[asked[k]] = found[k];
}

}  // namespace sarvoli::copy
