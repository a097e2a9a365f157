#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "copy/RunHost.h"

namespace sarvoli::testing {

// Records what a run writes to its log; `onEvents` runs where the window would handle input.
class RecordingHost : public copy::RunHost {
public:
    void appendLine(std::string line, bool failed) override
    {
        lines.push_back(std::move(line));
        failedFlags.push_back(failed);
    }
    void processEvents() override
    {
        ++eventPasses;
        if (onEvents)
            onEvents();
    }
    bool abortRequested() const override { return abort; }
    void writingToDevice(bool writing) override { writingCalls.push_back({writing, eventPasses}); }
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
    int eventPasses = 0;
    std::vector<std::pair<bool, int>> writingCalls;  // each call, with the event passes before it
    bool abort = false;
    std::int64_t withdrawn = 0;
    std::uint64_t clears = 0;
    std::vector<std::string> notes;
    std::function<void()> onEvents;
};

}  // namespace sarvoli::testing
