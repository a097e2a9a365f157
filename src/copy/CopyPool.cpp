#include "copy/CopyPool.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace sarvoli::copy {

CopyPool::CopyPool(platform::Copies& platform, int workers, std::function<void()> onEnded)
    : m_platform(platform), m_onEnded(std::move(onEnded))
{
    // A system short of threads (a process limit) gets fewer workers, not the end of the program.
    try {
        for (int i = 0; i < workers; ++i)
            m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error& e) {
        m_startFailure = e.what();
    }
}

CopyPool::~CopyPool()
{
    {
        const std::lock_guard lock(m_lock);
        m_stop = true;
        for (const auto& job : m_waiting)
            job->state.store(CopyJob::Dropped, std::memory_order_release);
        m_waiting.clear();
        for (const auto& task : m_tasks)
            task->state.store(CopyJob::Dropped, std::memory_order_release);
        m_tasks.clear();
    }
    m_work.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void CopyPool::submit(std::shared_ptr<CopyJob> job)
{
    {
        const std::lock_guard lock(m_lock);
        job->order = m_submitted++;
        ++m_unended;
        m_waiting.push_back(std::move(job));
    }
    m_work.notify_one();
}

void CopyPool::runFirst(const std::vector<std::shared_ptr<CopyJob>>& tasks)
{
    {
        const std::lock_guard lock(m_lock);
        m_tasks.insert(m_tasks.begin(), tasks.begin(), tasks.end());
        m_unended += tasks.size();
    }
    m_work.notify_all();
}

bool CopyPool::claim(const std::shared_ptr<CopyJob>& task)
{
    const std::lock_guard lock(m_lock);
    const auto waiting = std::find(m_tasks.begin(), m_tasks.end(), task);
    if (waiting == m_tasks.end())
        return false;
    m_tasks.erase(waiting);
    --m_unended;  // the caller runs it
    task->state.store(CopyJob::Running, std::memory_order_relaxed);
    return true;
}

void CopyPool::dropWaiting()
{
    {
        const std::lock_guard lock(m_lock);
        for (const auto& task : m_tasks) {
            task->state.store(CopyJob::Dropped, std::memory_order_release);
            ++m_endedCount;
            --m_unended;
        }
        m_tasks.clear();
        while (!m_waiting.empty() && m_waiting.back()->order >= m_furthestStarted) {
            m_waiting.back()->state.store(CopyJob::Dropped, std::memory_order_release);
            ++m_endedCount;
            --m_unended;
            m_waiting.pop_back();
        }
    }
    m_ended.notify_all();
}

std::uint64_t CopyPool::ended()
{
    const std::lock_guard lock(m_lock);
    return m_endedCount;
}

void CopyPool::waitForEnd(std::uint64_t seen, std::int64_t timeoutNanos, std::uint64_t atLeast)
{
    std::unique_lock lock(m_lock);
    // Ends since `seen` count towards the batch; no more can be waited for than are to end.
    const std::uint64_t since = m_endedCount - seen;
    const std::uint64_t wanted = seen + std::max<std::uint64_t>(1, std::min(atLeast, since + m_unended));
    m_wakeAt = wanted;
    m_ended.wait_for(lock, std::chrono::nanoseconds(timeoutNanos), [&] { return m_endedCount >= wanted; });
    m_wakeAt = 0;
}

void CopyPool::work()
{
    for (;;) {
        std::shared_ptr<CopyJob> job;
        {
            std::unique_lock lock(m_lock);
            m_work.wait(lock, [&] {
                return m_stop || !m_tasks.empty() || (!m_waiting.empty() && m_waitingForRoom == 0);
            });
            if (m_stop)
                return;
            if (!m_tasks.empty()) {  // the walk waits for it
                job = std::move(m_tasks.front());
                m_tasks.pop_front();
            } else {
                const auto free = [&](const std::shared_ptr<CopyJob>& j) {
                    return std::find(m_busyFolders.begin(), m_busyFolders.end(), j->folder) == m_busyFolders.end();
                };
                const auto looked = m_waiting.begin() + static_cast<std::ptrdiff_t>(std::min(m_waiting.size(), kLookAhead));
                const auto pick = std::find_if(m_waiting.begin(), looked, free);
                const auto taken = pick == looked ? m_waiting.begin() : pick;
                job = std::move(*taken);
                m_waiting.erase(taken);
                m_busyFolders.push_back(job->folder);
                m_furthestStarted = std::max(m_furthestStarted, job->order + 1);
            }
            job->state.store(CopyJob::Running, std::memory_order_relaxed);
        }
        bool wake = false;
        if (job->task)
            job->task();
        else
            job->result = m_platform.copyFile(job->source, job->target, job->decision);
        {
            std::unique_lock lock(m_lock);
            if (!job->task)
                m_busyFolders.erase(std::find(m_busyFolders.begin(), m_busyFolders.end(), job->folder));
            if (!job->task && job->result.noSpace())
                copyAgainAlone(*job, lock);
            job->state.store(CopyJob::Done, std::memory_order_release);
            ++m_endedCount;
            --m_unended;
            wake = m_endedCount >= m_wakeAt || m_waitingForRoom > 0;
        }
        if (wake)
            m_ended.notify_all();
        if (m_onEnded)
            m_onEnded();
    }
}

void CopyPool::copyAgainAlone(CopyJob& job, std::unique_lock<std::mutex>& lock)
{
    // No copy starts meanwhile; those being written end, and their failed files are gone.
    ++m_waitingForRoom;
    m_ended.wait(lock, [&] { return m_busyFolders.empty() && !m_retrying; });
    m_retrying = true;
    m_busyFolders.push_back(job.folder);
    lock.unlock();
    job.result = m_platform.copyFile(job.source, job.target, job.decision);
    lock.lock();
    m_busyFolders.erase(std::find(m_busyFolders.begin(), m_busyFolders.end(), job.folder));
    m_retrying = false;
    --m_waitingForRoom;
    m_ended.notify_all();
    m_work.notify_all();
}

}  // namespace sarvoli::copy
