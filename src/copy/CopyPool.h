#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace sarvoli::copy {

// One file to copy on a worker thread, or work that the walk hands ahead of itself.
struct CopyJob {
    enum State { Waiting, Running, Done, Dropped };

    CopyJob(std::string from, std::string to, platform::CopyDecision decided)
        : source(std::move(from)), target(std::move(to)), folder(target.substr(0, target.find_last_of('\\') + 1)),
          decision(decided)
    {
    }
    explicit CopyJob(std::function<void()> work) : task(std::move(work)) {}

    std::string source;
    std::string target;
    std::string folder;  // the target's folder
    platform::CopyDecision decision;
    std::uint64_t order = 0;  // its place in the walk
    std::function<void()> task;  // for work that is no copy
    std::atomic<int> state{Waiting};
    platform::OpResult result;  // set before the state becomes Done
};

// Worker threads that copy files given to them, several at once. A worker takes the first job
// whose folder no other worker is writing in, among the next few: creating and renaming files
// of one folder wait on each other (the kernel locks the folder, and on a network each waits a
// round trip), files of several folders do not. Work handed ahead of the walk comes first.
// A copy that found the device full is made again once no other copy is being written, as it
// would have been with one file at a time: another copy's unfinished file may have held the room.
class CopyPool {
public:
    // Starts up to `workers` threads; as many as the system lets start (see workers()).
    // `onEnded` is called on a worker's thread each time one of its jobs has ended.
    CopyPool(platform::Copies& platform, int workers, std::function<void()> onEnded = {});
    ~CopyPool();
    CopyPool(const CopyPool&) = delete;
    CopyPool& operator=(const CopyPool&) = delete;

    // How far past the first waiting job a worker looks for one in another folder.
    static constexpr std::size_t kLookAhead = 32;

    void submit(std::shared_ptr<CopyJob> job);
    // Puts tasks before every task and copy that waits, in their order.
    void runFirst(const std::vector<std::shared_ptr<CopyJob>>& tasks);
    // Takes back a task that no worker has started, for the caller to run; false when a worker
    // has it or had it.
    bool claim(const std::shared_ptr<CopyJob>& task);
    // Drops every task, and every copy that no worker has started and that comes after every
    // started one in the walk, so that the copies made are the walk's first ones, as with one
    // file at a time; the few passed over before a started one are still made.
    void dropWaiting();
    // How many jobs have ended (done or dropped) so far.
    std::uint64_t ended();
    // Waits until `atLeast` more than `seen` jobs have ended (fewer where fewer are still to
    // end), or `timeoutNanos` has passed. A waiter woken for each end would trade places with
    // a worker at every file; woken for a batch, it does so once for many.
    void waitForEnd(std::uint64_t seen, std::int64_t timeoutNanos, std::uint64_t atLeast = 1);
    // How many workers started, and why the others could not.
    int workers() const { return static_cast<int>(m_threads.size()); }
    const std::string& startFailure() const { return m_startFailure; }

private:
    void work();
    // Makes a copy that found the device full again, once no other copy is being written.
    void copyAgainAlone(CopyJob& job, std::unique_lock<std::mutex>& lock);

    platform::Copies& m_platform;
    std::function<void()> m_onEnded;
    std::mutex m_lock;
    std::condition_variable m_work;   // a job to take, or the end of the pool
    std::condition_variable m_ended;  // a job has ended
    std::deque<std::shared_ptr<CopyJob>> m_waiting;
    std::deque<std::shared_ptr<CopyJob>> m_tasks;
    std::vector<std::string> m_busyFolders;  // one entry a copy being written
    int m_waitingForRoom = 0;  // copies that found the device full, to be made again
    bool m_retrying = false;   // one of them is being made again
    std::uint64_t m_submitted = 0;
    std::uint64_t m_furthestStarted = 0;  // order + 1 of the furthest job started; 0 before any
    std::uint64_t m_endedCount = 0;
    std::uint64_t m_unended = 0;  // jobs submitted or handed ahead that have not ended
    std::uint64_t m_wakeAt = 0;   // the ended count that a waiter waits for; 0 when none waits
    bool m_stop = false;
    std::vector<std::thread> m_threads;
    std::string m_startFailure;
};

}  // namespace sarvoli::copy
