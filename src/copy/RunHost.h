#pragma once

#include <string>

namespace sarvoli::copy {

// What the walk needs of the window that runs it.
class RunHost {
public:
    virtual ~RunHost() = default;
    // Appends one line to the run log; `failed` marks the line of a copy that failed.
    virtual void appendLine(std::string line, bool failed) = 0;
    // Lets the window handle its pending input and painting.
    virtual void processEvents() = 0;
    // True once the user has asked the run to stop.
    virtual bool abortRequested() const = 0;
    // The run waits for its copies to reach the device (true), or has stopped waiting (false);
    // pending input is still handled meanwhile.
    virtual void writingToDevice(bool /*writing*/) {}
    // Copies that earlier lines counted as copied turned out not to be on the device; a failure
    // line of each follows.
    virtual void withdrawCopies(std::int64_t /*count*/) {}
    // How many times the log has been emptied (Clear, a new source folder), so that the lines
    // of entries handled before that are not shown after it.
    virtual std::uint64_t logClears() const { return 0; }
    // Something the user should know that is no line of the log (fewer workers than asked).
    virtual void note(const std::string& /*text*/) {}
};

}  // namespace sarvoli::copy
