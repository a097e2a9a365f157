#include "run/CopyRun.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

#include "copy/DriveCheck.h"
#include "copy/KeptCopies.h"
#include "run/RunRules.h"
#include "run/SettingsLock.h"
#include "settings/IniFile.h"
#include "settings/WindowSettings.h"
#include "text/DateTimeText.h"
#include "text/MessageText.h"
#include "text/PathParts.h"

namespace sarvoli::run {

namespace {

constexpr const char* kNotOnDevice = "kopioita ei saatu levylle: kohde ei vastaa";
constexpr const char* kGivenUp = "kohde ei vastaa, kopiointi keskeytettiin";
constexpr const char* kOldRunsNotRemoved = "vanhimpia säilytettyjä kopioita ei voi poistaa";

// Runs given up whose thread still waits in a call to a device.
std::atomic<int> g_givenUpWaiting{0};

}  // namespace

// What the run's thread and its host share; the walk's host on the run's side.
struct CopyRun::State : copy::RunHost {
    std::mutex lock;
    bool started = false;
    std::vector<RunLine> lines;
    std::int64_t withdrawn = 0;
    std::vector<std::string> notes;
    bool writing = false;
    std::int64_t kilobytes = 0;
    // Every line so far, shown or not, and the copies not yet known to be on the device: what a
    // run given up has done.
    std::int64_t copiedLines = 0;
    std::int64_t failedLines = 0;
    std::vector<std::pair<std::string, std::int64_t>> unconfirmedCopies;
    std::optional<RunOutcome> outcome;
    bool waitingAfterGivenUp = false;
    std::function<void()> whenEnded;
    std::condition_variable endedChanged;
    std::optional<MassReplacement> question;
    std::optional<bool> answer;

    std::atomic<bool> stop{false};
    std::atomic<bool> givenUp{false};  // the copies' cancel flag too
    std::atomic<bool> ended{false};
    std::atomic<std::uint64_t> clears{0};
    std::atomic<std::uint64_t> answers{0};

    void appendLine(std::string line, bool failed, std::uint64_t clearsBefore) override
    {
        const std::lock_guard guard(lock);
        if (givenUp.load())
            return;  // told already, as the host gave up
        ++(failed ? failedLines : copiedLines);
        if (clearsBefore == clears.load())
            lines.push_back({std::move(line), failed});
    }
    bool abortRequested() const override { return stop.load(std::memory_order_relaxed); }
    void writingToDevice(bool writingNow) override
    {
        const std::lock_guard guard(lock);
        writing = writingNow;
    }
    void withdrawCopies(std::int64_t count) override
    {
        const std::lock_guard guard(lock);
        withdrawn += count;
        copiedLines -= count;
    }
    std::uint64_t logClears() const override { return clears.load(); }
    void note(const std::string& text) override
    {
        const std::lock_guard guard(lock);
        notes.push_back(text);
    }
    void counted(std::int64_t total) override
    {
        const std::lock_guard guard(lock);
        kilobytes = total;
    }
    void unconfirmed(const std::string& line, std::int64_t size) override
    {
        const std::lock_guard guard(lock);
        unconfirmedCopies.emplace_back(line, size);
    }
    void confirmed() override
    {
        const std::lock_guard guard(lock);
        unconfirmedCopies.clear();
    }
    void answered() override { answers.fetch_add(1, std::memory_order_relaxed); }

    // Asks the host whether the run may replace what `m` names; no answer (a stop, a host gone)
    // is no.
    bool ask(const MassReplacement& m)
    {
        std::unique_lock guard(lock);
        question = m;
        answer.reset();
        while (!answer && !stop.load() && !givenUp.load())
            endedChanged.wait_for(guard, std::chrono::milliseconds(50));
        return answer.value_or(false) && !stop.load();
    }
};

namespace {

// The host of the walk that only counts what a run would replace: it tells nothing, but the
// devices' answers, and it stops as the run does.
class CountingHost : public copy::RunHost {
public:
    explicit CountingHost(copy::RunHost& run) : m_run(run) {}
    void appendLine(std::string, bool, std::uint64_t) override {}
    bool abortRequested() const override { return m_run.abortRequested(); }
    void answered() override { m_run.answered(); }

private:
    copy::RunHost& m_run;
};

// What the run would replace, found by a walk that writes nothing before it replaces anything.
MassReplacement countReplacements(platform::Platform& platform, copy::RunHost& run,
                                  const text::RegionalSettings& regional, copy::RunTexts texts, int workers)
{
    CountingHost host(run);
    texts.preview = true;
    texts.countOnly = true;
    texts.verify = false;
    copy::CopyWalk walk(platform, host, regional, workers);
    const copy::RunTotals totals = walk.run(texts);
    return {totals.existing, totals.replacing, totals.examples};
}

}  // namespace

CopyRun::CopyRun(platform::Platform& platform, text::RegionalSettings regional, RunRequest request)
    : m_platform(platform), m_regional(std::move(regional)), m_request(std::move(request)),
      m_state(std::make_shared<State>())
{
}

CopyRun::~CopyRun()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard guard(m_state->lock);
        m_state->whenEnded = nullptr;  // its host is going
        if (m_state->waitingAfterGivenUp) {
            m_thread.detach();  // its call may never come back; what it shares stays with it
            return;
        }
    }
    m_state->stop = true;
    m_thread.join();
}

void CopyRun::whenEnded(std::function<void()> ended) { m_state->whenEnded = std::move(ended); }

bool CopyRun::waitForEnd(std::chrono::milliseconds timeout)
{
    std::unique_lock guard(m_state->lock);
    return m_state->endedChanged.wait_for(guard, timeout, [&] { return m_state->ended.load(); });
}

void CopyRun::start()
{
    m_lastAnswer = m_platform.monotonicNanos();
    try {
        m_thread = std::thread([state = m_state, &platform = m_platform, regional = m_regional, request = m_request] {
            execute(state, platform, regional, request);
        });
    } catch (const std::system_error&) {
        // No thread to be had (a process limit): the run is made here, and its host waits for it.
        execute(m_state, m_platform, m_regional, m_request);
    }
}

void CopyRun::execute(const std::shared_ptr<State>& state, platform::Platform& platform,
                      const text::RegionalSettings& regional, const RunRequest& request)
{
    RunOutcome out;
    copy::RunTexts texts = request.texts;
    bool walked = false;
    try {
        if (const auto refusal = copy::RunRefusal(platform, texts.source, texts.destination)) {
            out.end = RunOutcome::End::Refused;
            out.refusal = *refusal;
        } else if (request.sourceMustExist && platform.folderAccess(text::withBackslash(texts.source)).missing) {
            // Unattended, a source that is not there (a disk not mounted) is no run with nothing
            // to copy: the job that started it must be able to tell.
            out.end = RunOutcome::End::Refused;
            out.refusal = "Lähdekansiota ei ole: " + texts.source;
        } else {
            texts.source = text::withBackslash(texts.source);
            texts.abandoned = &state->givenUp;
            {
                const std::lock_guard guard(state->lock);
                state->started = true;
            }
            const int workers = request.workers > 0 ? request.workers : workersFor(platform, texts.destination);
            const bool keeps = request.keepVersions > 0 && !texts.preview;
            if (keeps)
                texts.keptRunFolder = copy::newRunFolder(
                    platform, texts.destination,
                    std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                        .count());
            if (request.guard && !texts.preview) {
                const MassReplacement found = countReplacements(platform, *state, regional, texts, workers);
                if (replacesMost(found) && !request.allowMassReplace
                    && !(request.asksHost && state->ask(found)) && !state->stop.load()) {
                    texts.holdReplacements = true;
                    out.heldBack = found;
                }
            }
            if (state->stop.load()) {  // stopped before the first entry: nothing started
                out.totals.aborted = true;
                out.end = RunOutcome::End::Stopped;
                walked = true;
            } else {
                copy::CopyWalk walk(platform, *state, regional, workers);
                out.totals = walk.run(texts);
                walked = true;
                out.end = out.totals.aborted ? RunOutcome::End::Stopped : RunOutcome::End::Copied;
            }
            // Only a whole run makes room: one that failed, was stopped or was held back by the
            // guard may be what the old copies are kept against.
            if (keeps && out.end == RunOutcome::End::Copied && out.totals.failed == 0 && !out.totals.notOnDevice
                && !out.heldBack && !state->givenUp) {
                for (const copy::NotRemoved& left :
                     copy::removeOldRuns(platform, texts.destination, request.keepVersions)) {
                    state->appendLine(left.folder + "   VIRHE: " + kOldRunsNotRemoved + ": " + left.reason, true,
                                      state->clears.load());
                    ++out.totals.failed;
                }
            }
            // Recorded only when it copied data, all of it on the device; a preview writes nothing.
            if (!texts.preview && !state->givenUp
                && isRecorded(request.carriedKilobytes + out.totals.kilobytes, out.totals.notOnDevice)) {
                const SettingsLock lock(QString::fromLocal8Bit(platform.systemPath(request.settingsFile).value_or("")));
                settings::IniFile file(platform, request.settingsFile);
                const text::DateTimeValue now = platform.localNow();
                const std::string stamp = text::formatDateTime(now, regional);
                settings::recordRun(file, texts.source, texts.destination, stamp);
                if (request.saveFields) {
                    const settings::LastCopy last = settings::lastCopyOf(stamp, regional, text::decodeDateTime(now).year);
                    settings::saveRunFields(file, texts.source, texts.destination, stamp, last.time);
                }
                out.recordedAt = stamp;
            }
        }
    } catch (const std::exception& e) {
        out.error = text::withFinalStop(e.what());
        if (!walked)
            out.end = RunOutcome::End::Refused;
    }
    const std::lock_guard guard(state->lock);
    state->outcome = std::move(out);
    if (state->waitingAfterGivenUp) {
        state->waitingAfterGivenUp = false;
        --g_givenUpWaiting;
    }
    state->ended = true;
    state->endedChanged.notify_all();
    if (state->whenEnded && !state->givenUp)
        state->whenEnded();
}

void CopyRun::stop() { m_state->stop = true; }

void CopyRun::answer(bool replace)
{
    const std::lock_guard guard(m_state->lock);
    m_state->answer = replace;
}

bool CopyRun::stopRequested() const { return m_state->stop.load(); }

void CopyRun::logCleared()
{
    const std::lock_guard guard(m_state->lock);
    ++m_state->clears;
    m_state->lines.clear();
}

RunNews CopyRun::takeNews()
{
    RunNews news;
    const std::lock_guard guard(m_state->lock);
    news.started = m_state->started;
    news.lines.swap(m_state->lines);
    news.withdrawn = std::exchange(m_state->withdrawn, 0);
    news.notes.swap(m_state->notes);
    news.question = std::exchange(m_state->question, std::nullopt);
    return news;
}

RunProgress CopyRun::progress()
{
    const std::int64_t now = m_platform.monotonicNanos();
    // The run's own calls coming back (entries, copies ended) and the devices' answers within them
    // (pieces of data written, flushes).
    const std::uint64_t answers = m_state->answers.load(std::memory_order_relaxed) + m_platform.answers();
    if (answers != m_answersSeen) {
        m_answersSeen = answers;
        m_lastAnswer = now;
    }
    RunProgress p;
    const std::lock_guard guard(m_state->lock);
    p.kilobytes = m_state->kilobytes;
    p.writingToDevice = m_state->writing;
    p.silentNanos = m_state->ended ? 0 : now - m_lastAnswer;
    return p;
}

bool CopyRun::ended() const { return m_state->ended.load(); }

RunOutcome CopyRun::outcome() const
{
    const std::lock_guard guard(m_state->lock);
    return m_state->outcome.value_or(RunOutcome{});
}

RunOutcome CopyRun::giveUp()
{
    m_state->stop = true;
    const std::lock_guard guard(m_state->lock);
    if (m_state->outcome)
        return *m_state->outcome;  // it ended meanwhile
    m_state->givenUp = true;
    m_state->waitingAfterGivenUp = true;
    m_state->whenEnded = nullptr;
    ++g_givenUpWaiting;
    State& s = *m_state;
    // What it counted and the device has not vouched for is no copy; the device is named.
    for (auto& [line, size] : s.unconfirmedCopies) {
        s.lines.push_back({line + "   VIRHE: " + kNotOnDevice, true});
        ++s.withdrawn;
        --s.copiedLines;
        ++s.failedLines;
        s.kilobytes -= size;
    }
    s.unconfirmedCopies.clear();
    s.lines.push_back({text::withBackslash(m_request.texts.destination) + "   VIRHE: " + kGivenUp, true});
    ++s.failedLines;
    RunOutcome out;
    out.end = RunOutcome::End::GivenUp;
    out.totals.copied = s.copiedLines;
    out.totals.failed = s.failedLines;
    out.totals.kilobytes = s.kilobytes;
    out.totals.aborted = true;
    out.totals.notOnDevice = true;
    return out;
}

bool CopyRun::anyGivenUpStillWaiting() { return g_givenUpWaiting.load() > 0; }

}  // namespace sarvoli::run
