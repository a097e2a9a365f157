#pragma once

#include <string>

namespace sarvoli::platform {

// Outcome of a file operation: success, or failure with the system's reason.
struct OpResult {
    bool ok = true;
    std::string reason;
    // The device had no room (or the user's quota none): another copy written at the same
    // time may have held that room only for a while.
    bool noSpace = false;

    static OpResult success() { return {}; }
    static OpResult failure(std::string why, bool noSpace = false) { return {false, std::move(why), noSpace}; }
};

}  // namespace sarvoli::platform
