#include "copy/CopyQueue.h"

#include <chrono>
#include <future>
#include <system_error>
#include <unordered_set>

namespace sarvoli::copy {

namespace {

constexpr const char* kNotOnDevice = "kopioita ei saatu levylle";
constexpr const char* kNotTheSame = "kopio ei vastaa lähdettä";
constexpr const char* kNotReadBack = "kopiota ei voi lukea takaisin";

// Copies and lines waiting for the copies before them, and the bytes of those copies, at the most.
constexpr std::size_t kMaxQueued = 256;
constexpr std::int64_t kMaxBytesQueued = 256 << 20;
// How long the window's turn waits, at the most, for the copies in flight to give their lines.
constexpr std::int64_t kLongestWaitForLines = 20'000'000;
// How long the walk waits for a folder read ahead before the window gets a turn meanwhile:
// with the turn before it, within the 50 ms in which the window repaints.
constexpr std::int64_t kLongestQuietWait = 30'000'000;

// A copy's line when it failed: the usual line, "VIRHE: " and the reason.
std::string failureLine(const std::string& line, const std::string& reason) { return line + "   VIRHE: " + reason; }

// A name may hold control characters; shown as ^J (caret notation), each file stays one line.
std::string printable(std::string line)
{
    std::size_t i = 0;
    while (i < line.size() && static_cast<unsigned char>(line[i]) >= 0x20 && line[i] != 0x7f)
        ++i;
    if (i == line.size())
        return line;
    std::string out = line.substr(0, i);
    for (; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7f) {
            out += '^';
            out += c == 0x7f ? '?' : static_cast<char>(c + 0x40);
        } else {
            out += line[i];
        }
    }
    return out;
}

}  // namespace

CopyQueue::CopyQueue(platform::Platform& platform, RunHost& host, RunTotals& totals, std::string destinationRoot,
                     std::int64_t eventIntervalNanos, int workers, bool verify)
    : m_platform(platform), m_host(host), m_totals(totals), m_destinationRoot(std::move(destinationRoot)),
      m_verify(verify), m_eventInterval(eventIntervalNanos),
      m_lastEvents(platform.monotonicNanos())
{
    if (workers > 1) {
        m_pool = std::make_unique<CopyPool>(m_platform, workers);
        if (m_pool->workers() < workers)
            m_host.note("vain " + std::to_string(m_pool->workers()) + "/" + std::to_string(workers)
                        + " kopioijaa käynnistyi: " + m_pool->startFailure());
        if (m_pool->workers() == 0)
            m_pool.reset();  // the caller's thread copies by itself
    }
}

CopyQueue::~CopyQueue() = default;

void CopyQueue::dropWaiting()
{
    if (m_pool)
        m_pool->dropWaiting();
}

template <typename Work>
auto CopyQueue::whileWindowLive(Work work) -> decltype(work())
{
    std::future<decltype(work())> done;
    try {
        done = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        return work();  // no thread to be had: the window waits
    }
    // On a slow device this takes a while; the window stays live and says what it waits for.
    bool told = false;
    while (done.wait_for(std::chrono::nanoseconds(waitSlice())) != std::future_status::ready) {
        if (!told) {
            told = true;
            m_host.writingToDevice(true);
        }
        m_host.processEvents();
    }
    if (told)
        m_host.writingToDevice(false);
    return done.get();
}

void CopyQueue::withdraw(std::vector<Withdrawn> copies)
{
    for (const Withdrawn& w : copies) {
        --m_totals.copied;
        m_totals.kilobytes -= w.size / 1000;
    }
    m_host.withdrawCopies(static_cast<std::int64_t>(copies.size()));
    for (Withdrawn& w : copies)
        fail(std::move(w.line), w.reason);
}

void CopyQueue::finish()
{
    // A copy still being written would get its final time before its data is on the device.
    waitForEveryCopy();
    if (m_unfinished.empty())
        return;
    std::vector<Unfinished> unfinished = std::move(m_unfinished);
    m_unfinished.clear();
    const platform::FinishResult finish = whileWindowLive([this] { return m_platform.finishCopies(); });
    const std::unordered_set<std::string> lost(finish.lost.begin(), finish.lost.end());
    if (!finish.result.ok) {
        m_totals.notOnDevice = true;
        const std::string reason = std::string(kNotOnDevice) + ": " + finish.result.reason;
        if (finish.lost.empty()) {  // the device failed, and no copy can be named
            fail(m_destinationRoot, reason);
        } else {
            // Each copy it covered is a failure after all, named in the walk's order.
            std::vector<Withdrawn> withdrawn;
            for (Unfinished& u : unfinished)
                if (lost.contains(u.target))
                    withdrawn.push_back({std::move(u.line), u.size, reason});
            withdraw(std::move(withdrawn));
        }
    }
    if (m_verify)
        verify(unfinished, lost);
}

void CopyQueue::verify(std::vector<Unfinished>& unfinished, const std::unordered_set<std::string>& lost)
{
    std::vector<Unfinished*> toRead;
    for (Unfinished& u : unfinished)
        if (u.copied() && !lost.contains(u.target))
            toRead.push_back(&u);
    const std::vector<platform::Verification> read = whileWindowLive([&] {
        std::vector<platform::Verification> outcomes;
        for (const Unfinished* u : toRead)
            outcomes.push_back(m_platform.verifyCopy(u->source, u->target));
        return outcomes;
    });
    // A copy that was read back and differs, or could not be read back, is no copy either way.
    std::vector<Withdrawn> withdrawn;
    for (std::size_t i = 0; i < toRead.size(); ++i)
        if (!read[i].result.ok || !read[i].same)
            withdrawn.push_back({std::move(toRead[i]->line), toRead[i]->size,
                                 read[i].result.ok ? std::string(kNotTheSame)
                                                   : std::string(kNotReadBack) + ": " + read[i].result.reason});
    if (!withdrawn.empty())
        withdraw(std::move(withdrawn));
}

void CopyQueue::wouldCopy(std::string line, std::int64_t size)
{
    ++m_totals.copied;
    m_totals.kilobytes += size / 1000;
    addLine(std::move(line), false);
}

void CopyQueue::copy(const std::string& source, const std::string& target, std::string line, std::int64_t size,
                     const platform::CopyDecision& decision)
{
    if (!m_pool) {
        const platform::OpResult copied = m_platform.copyFile(source, target, decision);
        if (!copied.ok) {
            if (!copied.unneeded)
                fail(std::move(line), copied.reason);
            return;
        }
        m_unfinished.push_back({m_verify ? source : std::string(), target, line, size, nullptr});
        ++m_totals.copied;
        m_totals.kilobytes += size / 1000;
        addLine(std::move(line), false);
    } else {
        auto job = std::make_shared<CopyJob>(source, target, decision);
        m_unfinished.push_back({m_verify ? source : std::string(), target, line, size, job});
        m_pool->submit(job);
        m_queued.push_back({std::move(line), false, false, size, std::move(job)});
        m_bytesQueued += size;
        // A few files and bytes in flight, so that memory stays small whatever the tree.
        while (m_queued.size() > kMaxQueued || m_bytesQueued > kMaxBytesQueued)
            waitForACopy();
    }
    if (static_cast<std::int64_t>(m_unfinished.size()) >= kFinishEvery)
        finish();
}

void CopyQueue::waitFor(const std::shared_ptr<CopyJob>& task)
{
    // Not started (or dropped by a stop): run here at once rather than after the tasks before it.
    if (m_pool->claim(task) || task->state.load(std::memory_order_acquire) == CopyJob::Dropped) {
        task->task();
        task->state.store(CopyJob::Done, std::memory_order_release);
        return;
    }
    // A short wait gives the window no turn of its own: one thread would have been reading the
    // folder then, and a command must meet the run between the same entries whatever the number
    // of workers. A long one (a slow network) lets the window in, so that it stays live.
    const std::int64_t quietUntil = m_platform.monotonicNanos() + kLongestQuietWait;
    for (;;) {
        const std::uint64_t seen = m_pool->ended();
        if (task->state.load(std::memory_order_acquire) == CopyJob::Done)
            return;
        m_pool->waitForEnd(seen, waitSlice());
        if (m_platform.monotonicNanos() >= quietUntil)
            letWindowIn();
    }
}

void CopyQueue::takeEnded()
{
    while (!m_queued.empty()) {
        Queued& q = m_queued.front();
        if (q.job) {
            const int state = q.job->state.load(std::memory_order_acquire);
            if (state == CopyJob::Waiting || state == CopyJob::Running)
                return;
            m_bytesQueued -= q.size;
            if (state == CopyJob::Done && q.job->result.ok) {
                ++m_totals.copied;
                m_totals.kilobytes += q.size / 1000;
                if (!q.cleared)
                    m_host.appendLine(printable(std::move(q.line)), false);
            } else if (state == CopyJob::Done && !q.job->result.unneeded) {
                ++m_totals.failed;
                if (!q.cleared)
                    m_host.appendLine(printable(failureLine(q.line, q.job->result.reason)), true);
            }  // a dropped copy was never started, an unneeded one never made: no line, no count
        } else if (!q.cleared) {
            m_host.appendLine(printable(std::move(q.line)), q.failed);
        }
        m_queued.pop_front();
    }
}

void CopyQueue::takeEndedOrWait(std::int64_t timeoutNanos)
{
    const std::uint64_t seen = m_pool->ended();  // before the look, so that no end is missed
    const std::size_t before = m_queued.size();
    takeEnded();
    if (m_queued.size() == before)
        m_pool->waitForEnd(seen, timeoutNanos);
}

void CopyQueue::waitForACopy()
{
    takeEndedOrWait(waitSlice());
    letWindowIn();
    takeEnded();
}

void CopyQueue::waitForEveryCopy()
{
    while (!m_queued.empty())
        waitForACopy();
}

void CopyQueue::letWindowIn()
{
    std::int64_t now = m_platform.monotonicNanos();
    if (now - m_lastEvents < m_eventInterval)
        return;
    // The window finds the lines of every entry handled so far, as with one file at a time, so
    // that a command it runs (Clear, Abort) meets the same log; a copy that takes longer than
    // a moment gives its line later rather than keep the window waiting.
    const std::int64_t deadline = now + kLongestWaitForLines;
    while (m_pool && !m_queued.empty() && now < deadline) {
        takeEndedOrWait(std::min<std::int64_t>(deadline - now, 1'000'000));
        now = m_platform.monotonicNanos();
    }
    m_lastEvents = now;
    const std::uint64_t clears = m_host.logClears();
    m_host.processEvents();
    // With one file at a time their lines would have been in the log that was just emptied.
    if (m_host.logClears() != clears)
        for (Queued& q : m_queued)
            q.cleared = true;
    if (m_pool && m_host.abortRequested())
        m_pool->dropWaiting();
}

void CopyQueue::fail(std::string line, const std::string& reason)
{
    ++m_totals.failed;
    addLine(failureLine(line, reason), true);
}

void CopyQueue::addLine(std::string line, bool failed)
{
    // After the lines of the copies still in flight, as with one file at a time.
    if (m_queued.empty())
        m_host.appendLine(printable(std::move(line)), failed);
    else
        m_queued.push_back({std::move(line), failed, false, 0, nullptr});
}

bool CopyQueue::afterEntry()
{
    if (!m_queued.empty())
        takeEnded();
    letWindowIn();
    return !m_host.abortRequested();
}

}  // namespace sarvoli::copy
