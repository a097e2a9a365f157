#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sarvoli::copy {

// What a run did.
struct RunTotals {
    std::int64_t copied = 0;     // files copied
    std::int64_t failed = 0;     // files whose copy failed
    std::int64_t kilobytes = 0;  // sum of each copied file's size / 1000
    bool aborted = false;
    bool notOnDevice = false;    // the device's flush failed: the run is no copy to record
    // Copies that the destination held of the files the run looked at, and how many of them it
    // replaced (or, in a preview, would replace), with the first few of those by their paths.
    std::int64_t existing = 0;
    std::int64_t replacing = 0;
    std::vector<std::string> examples;
    std::int64_t kept = 0;      // old copies moved into the run's folder of kept copies
    std::int64_t heldBack = 0;  // copies that were to be replaced and were left as they are
};

}  // namespace sarvoli::copy
