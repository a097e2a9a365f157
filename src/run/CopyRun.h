#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "copy/CopyWalk.h"
#include "copy/RunTotals.h"
#include "platform/Platform.h"
#include "run/RunRules.h"
#include "text/RegionalSettings.h"

namespace sarvoli::run {

// What a run is to do: its fields, read once when it is started, and how it is recorded.
struct RunRequest {
    copy::RunTexts texts;
    int workers = 0;            // 0: by the kind of device that the destination is on
    std::string settingsFile;   // path text of the settings file that records the run
    // A size total that an earlier run left unrecorded: a run is recorded when it and this
    // together come to a kilobyte or more.
    std::int64_t carriedKilobytes = 0;
    bool sourceMustExist = false;  // a source folder that is not there refuses the run (a disk not mounted)
    bool saveFields = false;       // the record writes the fields that the window shows too
    // A copy that replaces another keeps the old one in a folder of the run; the folders of the
    // newest this many runs stay. 0: the old copy is replaced.
    int keepVersions = 0;
    // The guard: a run that would replace most of the copies there replaces none, unless it is
    // allowed to or its host, asked (the window), says so. New copies are made either way.
    bool guard = false;
    bool allowMassReplace = false;
    bool asksHost = false;
};

// One line of the run log.
struct RunLine {
    std::string text;
    bool failed = false;
};

// What a run has told since its host last asked.
struct RunNews {
    bool started = false;  // the checks passed and the walk has begun (stays so)
    // In the walk's order; none of an entry handled before the host last emptied its log.
    std::vector<RunLine> lines;
    std::int64_t withdrawn = 0;  // copies that earlier lines counted and that are no copies after all
    std::vector<std::string> notes;  // what the user should know that is no line of the log
    // The guard asks whether the run may replace these copies; answer() says.
    std::optional<MassReplacement> question;
};

// How far a run is.
struct RunProgress {
    std::int64_t kilobytes = 0;     // the size total of the copies so far
    bool writingToDevice = false;   // the run waits for its copies to reach the device
    std::int64_t silentNanos = 0;   // how long no call of the run to a device has come back
};

// How a run ended.
struct RunOutcome {
    enum class End {
        Refused,  // it could not start: `refusal` says why, as the user is told
        Copied,   // the walk ran to its end
        Stopped,  // a stop ended it after the entries in hand
        GivenUp,  // its host ended it while a device did not answer
    };
    End end = End::Copied;
    std::string refusal;
    std::string error;  // an error that ended the command (a settings file that could not be written...)
    copy::RunTotals totals;
    std::optional<std::string> recordedAt;  // the date-time text of its record in the histories
    // What the guard found, where it held the replacements back.
    std::optional<MassReplacement> heldBack;
};

// A copy run on a thread of its own: the input and drive checks, the walk with its workers, the
// flush, the summary's values and the record, for the window and a run without one alike. Its
// host (on any one thread) starts it, takes what it tells, and may ask it to stop; nothing the
// host calls waits on a device.
class CopyRun {
public:
    CopyRun(platform::Platform& platform, text::RegionalSettings regional, RunRequest request);
    // Waits for the run to end, asking it to stop; one given up is left to its call.
    ~CopyRun();
    CopyRun(const CopyRun&) = delete;
    CopyRun& operator=(const CopyRun&) = delete;

    // `ended` is called on the run's thread as it ends (not for a run given up), so that a host
    // need not look for the end itself; set before start().
    void whenEnded(std::function<void()> ended);
    void start();
    // Stops the run after the entries in hand, as Abort does.
    void stop();
    bool stopRequested() const;
    // The answer to the guard's question: whether the run may replace the copies it named.
    void answer(bool replace);
    // The host has emptied its log: lines of entries handled until now are not told.
    void logCleared();
    RunNews takeNews();
    RunProgress progress();
    bool ended() const;
    // Waits until the run has ended, or the time is up; whether it has.
    bool waitForEnd(std::chrono::milliseconds timeout);
    // How it ended; once ended().
    RunOutcome outcome() const;
    // Ends a run whose device does not answer, with what it has told so far: the copies not yet
    // known to be on the device are failures, the run is not recorded, and no copy that the
    // device finishes afterwards takes its name. The news that follows says so.
    RunOutcome giveUp();
    // Whether a run given up still waits in a call to its device: a process that ends must not
    // wait for it.
    static bool anyGivenUpStillWaiting();

private:
    struct State;
    static void execute(const std::shared_ptr<State>& state, platform::Platform& platform,
                        const text::RegionalSettings& regional, const RunRequest& request);

    platform::Platform& m_platform;
    text::RegionalSettings m_regional;
    RunRequest m_request;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
    std::uint64_t m_answersSeen = 0;
    std::int64_t m_lastAnswer = 0;
};

}  // namespace sarvoli::run
