#pragma once

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

    std::vector<std::string> lines;
    std::vector<bool> failedFlags;
    int eventPasses = 0;
    std::vector<std::pair<bool, int>> writingCalls;  // each call, with the event passes before it
    bool abort = false;
    std::function<void()> onEvents;
};

}  // namespace sarvoli::testing
