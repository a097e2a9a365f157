#pragma once

#include <string>

namespace sarvoli::platform {

// Outcome of a file operation: success, or failure with the system's reason.
struct OpResult {
    bool ok = true;
    std::string reason;

    static OpResult success() { return {}; }
    static OpResult failure(std::string why) { return {false, std::move(why)}; }
};

}  // namespace sarvoli::platform
