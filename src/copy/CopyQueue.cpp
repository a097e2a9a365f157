#include "copy/CopyQueue.h"
#include "copy/CopyTexts.h"

#include <chrono>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

namespace sarvoli::copy {

namespace {

using namespace texts;

// Copies and lines waiting for the copies before them, and the bytes of those copies, at the most.
constexpr std::size_t kMaxQueued = 256;
constexpr std::int64_t kMaxBytesQueued = 256 << 20;
// How long one wait for a copy lasts before the walk looks whether it is to stop.
constexpr std::int64_t kWaitSlice = 2'000'000;
// How many copies one task of the workers reads back.
constexpr std::size_t kReadBackATask = 16;
// How many copies a full queue waits to end before the walk goes on.
constexpr std::uint64_t kEndsAWait = kMaxQueued / 4;

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
                     int workers, bool verify)
    : m_platform(platform), m_host(host), m_totals(totals), m_destinationRoot(std::move(destinationRoot)),
      m_verify(verify)
{
    destinationId();  // as the run finds it
    if (workers > 1) {
        m_pool = std::make_unique<CopyPool>(m_platform, workers, [this] { m_host.answered(); });
        if (m_pool->workers() < workers)
            m_host.note("vain " + std::to_string(m_pool->workers()) + "/" + std::to_string(workers)
                        + kWorkersStarted + m_pool->startFailure());
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

void CopyQueue::withdraw(std::vector<Withdrawn> copies)
{
    std::int64_t kilobytes = 0;
    for (const Withdrawn& w : copies)
        kilobytes += w.size / 1000;
    changeCopied(-static_cast<std::int64_t>(copies.size()), -kilobytes);
    m_host.withdrawCopies(static_cast<std::int64_t>(copies.size()));
    // Each was shown as copied: its line says otherwise, whatever became of the destination.
    for (Withdrawn& w : copies)
        addFailure(std::move(w.line), w.reason);
}

void CopyQueue::finish()
{
    // A copy still being written would get its final time before its data is on the device.
    waitForEveryCopy();
    if (m_unfinished.empty())
        return;
    std::vector<Unfinished> unfinished = std::move(m_unfinished);
    m_unfinished.clear();
    m_host.writingToDevice(true);
    const platform::FinishResult finish = m_platform.finishCopies();
    m_host.writingToDevice(false);
    m_host.answered();
    m_totals.kept += finish.kept;
    const std::unordered_set<std::string> lost(finish.lost.begin(), finish.lost.end());
    if (!finish.result.ok) {
        m_totals.notOnDevice = true;
        const std::string reason = std::string(kNotOnDevice) + ": " + finish.result.reason();
        if (finish.lost.empty()) {  // the device failed, and no copy can be named
            addFailure(m_destinationRoot, reason);
        } else {
            // Each copy it covered is a failure after all, named in the walk's order.
            std::vector<Withdrawn> withdrawn;
            for (Unfinished& u : unfinished)
                if (lost.contains(u.target))
                    withdrawn.push_back({std::move(u.line), u.size, reason});
            withdraw(std::move(withdrawn));
        }
    }
    // A replacement that did not take its old copy's place: the file there stays, and the line
    // that counted the copy becomes a failure, with why.
    if (!finish.notReplaced.empty()) {
        std::unordered_map<std::string, std::string> why;
        for (const auto& [target, result] : finish.notReplaced)
            why.emplace(target, result.unneeded ? std::string(kChangedSince) : result.reason());
        std::vector<Withdrawn> withdrawn;
        for (Unfinished& u : unfinished)
            if (const auto it = why.find(u.target); it != why.end() && !lost.contains(u.target)) {
                withdrawn.push_back({std::move(u.line), u.size, it->second});
                u.notReplaced = true;
            }
        withdraw(std::move(withdrawn));
    }
    // Every copy so far is on the device now, or a failure above.
    m_host.confirmed();
    if (m_verify)
        verify(unfinished, lost);
}

void CopyQueue::verify(std::vector<Unfinished>& unfinished, const std::unordered_set<std::string>& lost)
{
    std::vector<Unfinished*> toRead;
    for (Unfinished& u : unfinished)
        if (u.copied() && !lost.contains(u.target))
            toRead.push_back(&u);
    m_host.writingToDevice(true);
    std::vector<platform::Verification> read(toRead.size());
    const auto readBack = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            read[i] = m_platform.verifyCopy(toRead[i]->source, toRead[i]->target);
            m_host.answered();
        }
    };
    if (m_pool) {
        // Read back by the workers and by this thread at once, a few copies a task: each read
        // waits on the device, and on a fast one each is a core's work.
        std::vector<std::shared_ptr<CopyJob>> tasks;
        for (std::size_t from = 0; from < toRead.size(); from += kReadBackATask)
            tasks.push_back(std::make_shared<CopyJob>(
                [&readBack, from, to = std::min(from + kReadBackATask, toRead.size())] { readBack(from, to); }));
        m_pool->runFirst(tasks);
        // The workers take them from the first, this thread from the last.
        for (auto task = tasks.rbegin(); task != tasks.rend(); ++task)
            waitFor(*task);
    } else {
        readBack(0, toRead.size());
    }
    m_host.writingToDevice(false);
    // A copy that was read back and differs, or could not be read back, is no copy either way.
    std::vector<Withdrawn> withdrawn;
    for (std::size_t i = 0; i < toRead.size(); ++i)
        if (!read[i].result.ok || !read[i].same)
            withdrawn.push_back({std::move(toRead[i]->line), toRead[i]->size,
                                 read[i].result.ok ? std::string(kNotTheSame)
                                                   : std::string(kNotReadBack) + ": " + read[i].result.reason()});
    if (!withdrawn.empty())
        withdraw(std::move(withdrawn));
}

void CopyQueue::wouldCopy(std::string line, std::int64_t size)
{
    countCopy(line, size, true);
    addLine(std::move(line), false, m_host.logClears());
}

const std::optional<platform::FolderId>& CopyQueue::destinationId()
{
    if (!m_rootId)
        m_rootId = m_platform.folderId(m_destinationRoot);
    return m_rootId;
}

bool CopyQueue::lostWithFailure()
{
    // A device that went away fails every copy after it the same way: that is one line, not one
    // a file. The root is asked only after a failure, so that a run that fails nothing asks nothing.
    if (!m_destinationLost) {
        if (!m_rootId || m_platform.folderId(m_destinationRoot) == m_rootId)
            return false;
        m_destinationLost = true;
        // The copies made so far cannot be vouched for, and the run is no copy to record.
        m_totals.notOnDevice = true;
        dropWaiting();
        addLine(failureLine(m_destinationRoot, kDestinationGone), true, m_host.logClears());
    }
    ++m_totals.failed;  // counted, its line said by the destination's
    return true;
}

void CopyQueue::changeCopied(std::int64_t copies, std::int64_t kilobytes)
{
    m_totals.copied += copies;
    m_totals.kilobytes += kilobytes;
    m_host.counted(m_totals.kilobytes);
}

void CopyQueue::countCopy(const std::string& line, std::int64_t size, bool onDevice)
{
    if (!onDevice)
        m_host.unconfirmed(printable(line), size / 1000);
    changeCopied(1, size / 1000);
}

void CopyQueue::copy(const std::string& source, const std::string& target, std::string line, std::int64_t size,
                     const platform::CopyDecision& decision)
{
    // The entry is in hand now: a log emptied while its copy is made does not show its line.
    const std::uint64_t clearsBefore = m_host.logClears();
    if (!m_pool) {
        const platform::OpResult copied = m_platform.copyFile(source, target, decision);
        if (!copied.ok) {
            if (!copied.unneeded && !lostWithFailure()) {
                ++m_totals.failed;
                addLine(failureLine(line, copied.reason()), true, clearsBefore);
            }
            return;
        }
        m_unfinished.push_back({m_verify ? source : std::string(), target, line, size, nullptr});
        destinationId();  // a destination made by the run is known once a copy is in it
        m_totals.kept += copied.kept ? 1 : 0;
        countCopy(line, size, copied.onDevice);
        addLine(std::move(line), false, clearsBefore);
    } else {
        auto job = std::make_shared<CopyJob>(source, target, decision);
        m_unfinished.push_back({m_verify ? source : std::string(), target, line, size, job});
        m_pool->submit(job);
        m_queued.push_back({std::move(line), false, clearsBefore, size, std::move(job)});
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
    for (;;) {
        const std::uint64_t seen = m_pool->ended();
        if (task->state.load(std::memory_order_acquire) == CopyJob::Done)
            return;
        m_pool->waitForEnd(seen, kWaitSlice);
    }
}

void CopyQueue::takeEnded()
{
    bool ended = false;
    while (!m_queued.empty()) {
        Queued& q = m_queued.front();
        if (q.job) {
            const int state = q.job->state.load(std::memory_order_acquire);
            if (state == CopyJob::Waiting || state == CopyJob::Running)
                break;
            ended = true;
            m_bytesQueued -= q.size;
            if (state == CopyJob::Done && q.job->result.ok) {
                destinationId();  // a destination made by the run is known once a copy is in it
                m_totals.kept += q.job->result.kept ? 1 : 0;
                countCopy(q.line, q.size, q.job->result.onDevice);
                m_host.appendLine(printable(std::move(q.line)), false, q.clearsBefore);
            } else if (state == CopyJob::Done && !q.job->result.unneeded && !lostWithFailure()) {
                ++m_totals.failed;
                m_host.appendLine(printable(failureLine(q.line, q.job->result.reason())), true, q.clearsBefore);
            } else if (state == CopyJob::Dropped && m_destinationLost) {
                ++m_totals.failed;  // decided and not copied: the destination went away
            }  // a dropped copy was never started, an unneeded one never made: no line, no count
        } else {
            m_host.appendLine(printable(std::move(q.line)), q.failed, q.clearsBefore);
        }
        m_queued.pop_front();
    }
    if (ended)
        m_host.answered();
}

void CopyQueue::takeEndedOrWait(std::int64_t timeoutNanos, std::uint64_t ends)
{
    const std::uint64_t seen = m_pool->ended();  // before the look, so that no end is missed
    const std::size_t before = m_queued.size();
    takeEnded();
    if (m_queued.size() == before || m_queued.size() > kMaxQueued - ends)
        m_pool->waitForEnd(seen, timeoutNanos, ends);
}

void CopyQueue::waitForACopy()
{
    takeEndedOrWait(kWaitSlice, kEndsAWait);
    if (m_host.abortRequested())
        m_pool->dropWaiting();
    takeEnded();
}

void CopyQueue::waitForEveryCopy()
{
    while (!m_queued.empty())
        waitForACopy();
}

void CopyQueue::fail(std::string line, const std::string& reason)
{
    if (!lostWithFailure())
        addFailure(std::move(line), reason);
}

void CopyQueue::addFailure(std::string line, const std::string& reason)
{
    ++m_totals.failed;
    addLine(failureLine(line, reason), true, m_host.logClears());
}

void CopyQueue::addLine(std::string line, bool failed, std::uint64_t clearsBefore)
{
    // After the lines of the copies still in flight, as with one file at a time.
    if (m_queued.empty())
        m_host.appendLine(printable(std::move(line)), failed, clearsBefore);
    else
        m_queued.push_back({std::move(line), failed, clearsBefore, 0, nullptr});
}

bool CopyQueue::afterEntry()
{
    if (!m_queued.empty())
        takeEnded();
    m_host.answered();
    if (!m_host.abortRequested() && !m_destinationLost)
        return true;
    dropWaiting();
    return false;
}

}  // namespace sarvoli::copy
