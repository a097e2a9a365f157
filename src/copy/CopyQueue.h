#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "copy/CopyPool.h"
#include "copy/RunHost.h"
#include "copy/RunTotals.h"
#include "platform/Platform.h"

namespace sarvoli::copy {

// The copies of a run in flight and the lines that wait for them, and the wait for the device.
// Whatever the number of workers the log gets the same lines in the walk's order, each once its
// copy has ended, as with one file at a time; the copies it counts are on the device when
// finish() returns.
class CopyQueue {
public:
    // `workers`: how many files are copied at once; with one, each copy is made by the caller's
    // thread. `destinationRoot` names a failure of the device that names no copy.
    // `verify`: each copy is read back once it is on the device and compared with its source.
    CopyQueue(platform::Platform& platform, RunHost& host, RunTotals& totals, std::string destinationRoot, int workers,
              bool verify = false);
    ~CopyQueue();
    CopyQueue(const CopyQueue&) = delete;
    CopyQueue& operator=(const CopyQueue&) = delete;

    // How many copies, at the most, wait for the device before they are made to reach it.
    static constexpr std::int64_t kFinishEvery = 8192;

    // Copies a file, on a worker when there are workers; its line comes once the copy has ended.
    // A copy that turns out unneeded when it is made (its source gone, its target no longer
    // older by `decision`'s rule) gets no line and is not counted, as if it had not been decided.
    void copy(const std::string& source, const std::string& target, std::string line, std::int64_t size,
              const platform::CopyDecision& decision);
    // The line of a copy that a preview would make, counted as a copy.
    void wouldCopy(std::string line, std::int64_t size);
    // Whether work can be handed ahead of the walk, to the workers.
    bool worksAhead() const { return m_pool != nullptr; }
    // Hands tasks to the workers, before every copy and task that waits.
    void runAhead(const std::vector<std::shared_ptr<CopyJob>>& tasks) { m_pool->runFirst(tasks); }
    // Returns once a task handed ahead has run: here and now when no worker has started it.
    void waitFor(const std::shared_ptr<CopyJob>& task);
    // A failure line, counted; it comes after the lines of the copies still in flight.
    void fail(std::string line, const std::string& reason);
    // After each entry of the walk: the lines of the copies that have ended. False when the run
    // is to stop.
    bool afterEntry();
    // Drops the copies that no worker has started: a stop starts no file after it.
    void dropWaiting();
    // Waits for every copy, then puts the copies made so far on the device; those the device
    // cannot vouch for become failures.
    void finish();
    // The destination root could no longer be reached (its drive taken out, its share dropped,
    // another folder in its place): the run stops, with one line for it, and the copies that
    // did not end are counted as failed without a line each.
    bool destinationLost() const { return m_destinationLost; }
    // The destination root's identity as the run found it, asked again until it is there.
    const std::optional<platform::FolderId>& destinationId();

private:
    // `clearsBefore`: the host's log emptyings when the line's entry was handled.
    void addLine(std::string line, bool failed, std::uint64_t clearsBefore);
    // Adds the lines of the copies that have ended, in the walk's order, up to the first still running.
    void takeEnded();
    // Takes the lines of the copies that have ended; when there were none, or too few to leave
    // room for `ends` more, waits until `ends` more have ended or the time is up.
    void takeEndedOrWait(std::int64_t timeoutNanos, std::uint64_t ends);
    // Waits a little for a copy to end; a stop asked for meanwhile drops the copies not yet started.
    void waitForACopy();
    // Waits until every copy given to the workers has ended and has its line.
    void waitForEveryCopy();
    // A copy counted that turned out not to be one, and why.
    struct Withdrawn {
        std::string line;
        std::int64_t size = 0;
        std::string reason;
    };
    // Takes back copies that the device did not keep as they were made: each a failure line.
    void withdraw(std::vector<Withdrawn> copies);
    // A copy not yet finished on the device, in the walk's order.
    struct Unfinished {
        std::string source;  // kept only where copies are read back
        std::string target;
        std::string line;
        std::int64_t size = 0;
        std::shared_ptr<CopyJob> job;  // none for a copy made on the caller's thread, which succeeded
        bool notReplaced = false;      // made, but it did not take the old copy's place
        bool copied() const
        {
            return !notReplaced && (!job || (job->state.load() == CopyJob::Done && job->result.ok));
        }
    };
    // Reads every copy of `unfinished` back and makes those that differ from their sources failures.
    void verify(std::vector<Unfinished>& unfinished, const std::unordered_set<std::string>& lost);
    // The one place where the totals of copies change: by `copies` files of `kilobytes` in all
    // (each file's size / 1000), fewer where they are negative; the window is told the sum.
    void changeCopied(std::int64_t copies, std::int64_t kilobytes);
    // Counts a copy made; one not yet on the device waits for finish() to be so.
    void countCopy(const std::string& line, std::int64_t size, bool onDevice);
    // A failure line, counted, whatever became of the destination.
    void addFailure(std::string line, const std::string& reason);
    // After a failure: whether the destination root is gone since the run found it, said once;
    // where it is, the failure is counted here and has no line of its own.
    bool lostWithFailure();

    // The destination root as the run found it, once it was there.
    std::optional<platform::FolderId> m_rootId;
    bool m_destinationLost = false;

    platform::Platform& m_platform;
    RunHost& m_host;
    RunTotals& m_totals;
    std::string m_destinationRoot;
    bool m_verify;

    // Copies in flight and the lines waiting for them, in the walk's order.
    struct Queued {
        std::string line;
        bool failed = false;
        std::uint64_t clearsBefore = 0;  // the host's log emptyings when its entry was handled
        std::int64_t size = 0;
        std::shared_ptr<CopyJob> job;  // none for a line that waits only for the lines before it
    };
    std::unique_ptr<CopyPool> m_pool;
    std::deque<Queued> m_queued;
    std::int64_t m_bytesQueued = 0;

    std::vector<Unfinished> m_unfinished;
};

}  // namespace sarvoli::copy
