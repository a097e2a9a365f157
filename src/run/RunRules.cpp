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

bool replacesMost(const MassReplacement& m) { return m.replacing >= 100 && m.replacing * 2 >= m.existing; }

std::string massReplacementText(const MassReplacement& m)
{
    std::string text = "Ajo korvaisi " + std::to_string(m.replacing) + " kopiota kohteen "
                       + std::to_string(m.existing) + " kopiosta, esimerkiksi:";
    for (const std::string& path : m.examples)
        text += "\n  " + path;
    return text;
}

}  // namespace sarvoli::run
