#pragma once

#include <string>
#include <system_error>
#include <utility>

namespace sarvoli::platform {

// The system's error codes (errno values on POSIX, GetLastError() values on Windows), each with
// the system's own text. A full disk or quota compares equal to std::errc::no_space_on_device.
const std::error_category& systemErrors();
inline std::error_code systemError(int code) { return {code, systemErrors()}; }

// Outcome of a file operation: success, or failure with the system's code, or with the
// program's own words where the system has no code for it.
struct OpResult {
    bool ok = true;
    std::error_code error;  // the system's code of a failure
    std::string said;       // the program's own text of a failure, where it has no system code
    // A copy given up with nothing to say: its source was gone when the copy began, or the file
    // at its target was no longer older than the source when the copy would have replaced it.
    bool unneeded = false;
    // A copy that succeeded is on the device already, name and all (flushed by itself, or where
    // there is nothing to wait for): the batch's flush has nothing to do for it.
    bool onDevice = false;
    // The file that stood at the copy's target was moved aside to be kept (CopyDecision::keepAs).
    bool kept = false;

    // The failure as a line says it.
    std::string reason() const { return error ? error.message() : said; }
    // The device had no room (or the user's quota none): another copy written at the same
    // time may have held that room only for a while.
    bool noSpace() const { return error == std::errc::no_space_on_device; }

    static OpResult success() { return {}; }
    static OpResult failure(std::error_code code)
    {
        OpResult r;
        r.ok = false;
        r.error = code;
        return r;
    }
    static OpResult failure(std::string why)
    {
        OpResult r;
        r.ok = false;
        r.said = std::move(why);
        return r;
    }
    static OpResult notNeeded()
    {
        OpResult r;
        r.ok = false;
        r.unneeded = true;
        return r;
    }
};

}  // namespace sarvoli::platform
