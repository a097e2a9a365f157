#include "copy/KeptCopies.h"

#include <algorithm>
#include <cstdio>

#include "platform/DirEntry.h"
#include "text/DateTime.h"
#include "text/PathParts.h"

namespace sarvoli::copy {

namespace {

constexpr std::size_t kStampLength = 18;  // 2026-12-11T130606Z

std::string keptRoot(std::string_view destinationRoot) { return text::withBackslash(destinationRoot) + kKeptFolder + "\\"; }

}  // namespace

std::string runFolderName(std::int64_t utcSeconds)
{
    // The calendar of a clock reading, here the UTC clock's.
    const text::CalendarDateTime t = text::decodeDateTime(text::dateTimeFromLocalSeconds(utcSeconds));
    char name[40];
    std::snprintf(name, sizeof name, "%04d-%02d-%02dT%02d%02d%02dZ", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return name;
}

std::optional<std::pair<std::string, int>> runFolderOrder(std::string_view name)
{
    if (name.size() < kStampLength)
        return std::nullopt;
    static constexpr std::string_view kShape = "dddd-dd-ddTddddddZ";
    for (std::size_t i = 0; i < kStampLength; ++i)
        if (kShape[i] == 'd' ? (name[i] < '0' || name[i] > '9') : name[i] != kShape[i])
            return std::nullopt;
    int second = 1;
    if (name.size() > kStampLength) {
        const std::string_view rest = name.substr(kStampLength);
        if (rest.size() < 2 || rest.size() > 6 || rest[0] != '-' || rest[1] == '0')
            return std::nullopt;
        second = 0;
        for (char c : rest.substr(1)) {
            if (c < '0' || c > '9')
                return std::nullopt;
            second = second * 10 + (c - '0');
        }
    }
    return std::pair{std::string(name.substr(0, kStampLength)), second};
}

std::string newRunFolder(platform::Folders& folders, std::string_view destinationRoot, std::int64_t utcSeconds)
{
    const std::string root = keptRoot(destinationRoot);
    const std::string stamp = runFolderName(utcSeconds);
    // A second run in the same second, or a clock put back, gets a folder of its own.
    std::string name = stamp;
    for (int k = 2; folders.folderPlace(root + name).kind != platform::FolderPlace::Missing && k < 100'000; ++k)
        name = stamp + "-" + std::to_string(k);
    return root + name + "\\";
}

std::vector<NotRemoved> removeOldRuns(platform::Folders& folders, std::string_view destinationRoot, int keep)
{
    std::vector<NotRemoved> failures;
    const std::string root = keptRoot(destinationRoot);
    if (folders.folderPlace(root).kind != platform::FolderPlace::Folder)
        return failures;
    struct Run {
        std::pair<std::string, int> order;
        std::string name;
    };
    std::vector<Run> runs;
    if (platform::FolderSearch search = folders.findFirst(root, "*", platform::Directory, false)) {
        platform::DirEntry entry;
        while (search->next(entry)) {
        }
        // Folders only, and no link to one.
        for (std::string& name : search->subfolders(true))
            if (auto order = runFolderOrder(name))
                runs.push_back({std::move(*order), std::move(name)});
    }
    if (runs.size() <= static_cast<std::size_t>(std::max(keep, 0)))
        return failures;
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.order < b.order; });
    runs.resize(runs.size() - static_cast<std::size_t>(std::max(keep, 0)));
    for (const Run& run : runs) {
        const std::string folder = root + run.name + "\\";
        if (const platform::OpResult removed = folders.removeFolder(folder); !removed.ok)
            failures.push_back({folder, removed.reason()});
    }
    return failures;
}

}  // namespace sarvoli::copy
