#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Platform.h"

// The rules that start and end a copy run, the same for the window and the run without it.
namespace sarvoli::run {

// How many files a run into `destination` copies at once: SARVOLI3_WORKERS when it is set
// (1 copies one file at a time), else the walk's rule for the kind of device it goes to.
int workersFor(platform::Platform& platform, std::string_view destination);

// Whether a run is recorded: one that copied data, all of it known to be on the device.
bool isRecorded(std::int64_t kilobytes, bool notOnDevice);

}  // namespace sarvoli::run
