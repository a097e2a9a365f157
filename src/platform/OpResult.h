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
    // A copy given up with nothing to say: its source was gone when the copy began, or the file
    // at its target was no longer older than the source when the copy would have replaced it.
    bool unneeded = false;
    // A copy that succeeded is on the device already, name and all (flushed by itself, or where
    // there is nothing to wait for): the batch's flush has nothing to do for it.
    bool onDevice = false;

    static OpResult success() { return {}; }
    static OpResult failure(std::string why, bool noSpace = false) { return {false, std::move(why), noSpace}; }
    static OpResult notNeeded() { return {false, {}, false, true, false}; }
};

}  // namespace sarvoli::platform
