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
};

}  // namespace sarvoli::copy
