#pragma once

#include <cstdint>

namespace sarvoli::copy {

// What a run did.
struct RunTotals {
    std::int64_t copied = 0;     // files copied
    std::int64_t failed = 0;     // files whose copy failed
    std::int64_t kilobytes = 0;  // sum of each copied file's size / 1000
    bool aborted = false;
    bool notOnDevice = false;    // the device's flush failed: the run is no copy to record
};

}  // namespace sarvoli::copy
