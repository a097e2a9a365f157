#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Platform.h"

// The old copies that runs replaced, kept below the destination root: one folder for them all,
// and in it one folder a run, named by the run's start in UTC.
namespace sarvoli::copy {

// The folder of the kept copies, directly below the destination root; it holds no copies of
// the source, and no run copies into it.
inline constexpr const char* kKeptFolder = "Sarvoli3-vanhat-kopiot";

// The name of the folder of a run that started at `utcSeconds` (seconds since 1970 in UTC):
// 2026-12-11T130606Z, without colons, which neither FAT nor Windows takes.
std::string runFolderName(std::int64_t utcSeconds);
// Where a name is a run's folder, its place among them: its start, and the number that a
// second run in the same second got after it (1 where none).
std::optional<std::pair<std::string, int>> runFolderOrder(std::string_view name);

// The path text of the folder for the old copies that a run starting now replaces, ending in a
// backslash: one that no earlier run has taken. Nothing is made until a copy is kept.
std::string newRunFolder(platform::Folders& folders, std::string_view destinationRoot, std::int64_t utcSeconds);

// A run's folder that could not be removed, and why.
struct NotRemoved {
    std::string folder;
    std::string reason;
};
// Removes the folders of the oldest runs beyond the newest `keep`, and nothing else: a name
// that is no run's stays, and so does everything where the folder of the kept copies is a link.
std::vector<NotRemoved> removeOldRuns(platform::Folders& folders, std::string_view destinationRoot, int keep);

}  // namespace sarvoli::copy
