#include "run/RunRules.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "copy/CopyWalk.h"

namespace sarvoli::run {

int workersFor(platform::Platform& platform, std::string_view destination)
{
    if (const char* forced = std::getenv("SARVOLI3_WORKERS")) {
        const int n = std::atoi(forced);
        if (n >= 1)
            return std::min(n, 64);
    }
    return copy::CopyWalk::defaultWorkers(platform.destinationClass(destination));
}

bool isRecorded(std::int64_t kilobytes, bool notOnDevice) { return kilobytes > 0 && !notOnDevice; }

}  // namespace sarvoli::run
