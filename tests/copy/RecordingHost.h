#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "copy/RunHost.h"

namespace sarvoli::testing {

// Records what a run writes to its log; `onEntry` runs where the run looks whether it is to stop
// (after every entry), as a command of the window would meet it there.
class RecordingHost : public copy::RunHost {
public:
    void appendLine(std::string line, bool failed, std::uint64_t clearsBefore) override
    {
        if (clearsBefore != clears)
            return;  // an entry handled before the log was emptied
        lines.push_back(std::move(line));
        failedFlags.push_back(failed);
    }
    bool abortRequested() const override
    {
        if (onEntry)
            onEntry();
        return abort;
    }
    void writingToDevice(bool writing) override { writingCalls.push_back(writing); }
    void withdrawCopies(std::int64_t count) override { withdrawn += count; }
    std::uint64_t logClears() const override { return clears; }
    void note(const std::string& text) override { notes.push_back(text); }
    // Empties the log as the window's Clear does.
    void clear()
    {
        lines.clear();
        failedFlags.clear();
        ++clears;
    }

    std::vector<std::string> lines;
    std::vector<bool> failedFlags;
    std::vector<bool> writingCalls;
    bool abort = false;
    std::int64_t withdrawn = 0;
    std::uint64_t clears = 0;
    std::vector<std::string> notes;
    std::function<void()> onEntry;
};

}  // namespace sarvoli::testing
