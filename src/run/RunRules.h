#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

// The rules that start and end a copy run, the same for the window and the run without it.
namespace sarvoli::run {

// How many files a run into `destination` copies at once: SARVOLI3_WORKERS when it is set
// (1 copies one file at a time), else the walk's rule for the kind of device it goes to.
int workersFor(platform::Platform& platform, std::string_view destination);

// Whether a run is recorded: one that copied data, all of it known to be on the device.
bool isRecorded(std::int64_t kilobytes, bool notOnDevice);

// What a run would replace of the copies that the destination holds.
struct MassReplacement {
    std::int64_t existing = 0;           // copies there of the files the run looks at
    std::int64_t replacing = 0;          // those it would replace
    std::vector<std::string> examples;   // the first few of them, by their paths
};
// Whether the guard stops a run first: it would replace at least half of the copies there, and
// a hundred files at the least (a first run, or one into an empty folder, replaces none).
bool replacesMost(const MassReplacement& m);
// What the guard tells of such a run: the counts, and the examples one a line.
std::string massReplacementText(const MassReplacement& m);

}  // namespace sarvoli::run
