#pragma once

#include <cstdint>
#include <string>

namespace sarvoli::copy {

// What the walk needs of whoever runs it, called from the walk's thread. The host may live on
// another thread (the window's); every call must be safe from the walk's.
class RunHost {
public:
    virtual ~RunHost() = default;
    // Appends one line to the run log; `failed` marks the line of a copy that failed.
    // `clearsBefore`: logClears() when the line's entry was handled; a log emptied since then
    // does not show it (the lines after an emptying are those of entries handled after it).
    virtual void appendLine(std::string line, bool failed, std::uint64_t clearsBefore) = 0;
    // True once the run is to stop.
    virtual bool abortRequested() const = 0;
    // The run waits for its copies to reach the device (true), or has stopped waiting (false).
    virtual void writingToDevice(bool /*writing*/) {}
    // Copies that earlier lines counted as copied turned out not to be on the device; a failure
    // line of each follows.
    virtual void withdrawCopies(std::int64_t /*count*/) {}
    // How many times the log has been emptied (Clear, a new source folder).
    virtual std::uint64_t logClears() const { return 0; }
    // Something the user should know that is no line of the log (fewer workers than asked).
    virtual void note(const std::string& /*text*/) {}
    // The run's size total so far, in kilobytes.
    virtual void counted(std::int64_t /*kilobytes*/) {}
    // A copy counted (its line follows) that is not yet known to be on the device, until
    // confirmed() says that every copy so far is there or has been withdrawn: what a host that
    // gives up waiting for the device must not count.
    virtual void unconfirmed(const std::string& /*line*/, std::int64_t /*kilobytes*/) {}
    virtual void confirmed() {}
    // A call of the run to a device has come back (an entry handled, a copy ended): a host can
    // tell a device that is slow from one that does not answer.
    virtual void answered() {}
};

}  // namespace sarvoli::copy
