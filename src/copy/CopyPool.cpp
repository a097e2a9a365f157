#include "copy/CopyPool.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace sarvoli::copy {

CopyPool::CopyPool(platform::Platform& platform, int workers) : m_platform(platform)
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
        m_waiting.push_back(std::move(job));
    }
    m_work.notify_one();
}

void CopyPool::dropWaiting()
{
    {
        const std::lock_guard lock(m_lock);
        while (!m_waiting.empty() && m_waiting.back()->order >= m_furthestStarted) {
            m_waiting.back()->state.store(CopyJob::Dropped, std::memory_order_release);
            ++m_endedCount;
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

void CopyPool::waitForEnd(std::uint64_t seen, std::int64_t timeoutNanos)
{
    std::unique_lock lock(m_lock);
    m_ended.wait_for(lock, std::chrono::nanoseconds(timeoutNanos), [&] { return m_endedCount != seen; });
}

void CopyPool::work()
{
    for (;;) {
        std::shared_ptr<CopyJob> job;
        {
            std::unique_lock lock(m_lock);
            m_work.wait(lock, [&] { return m_stop || !m_waiting.empty(); });
            if (m_stop)
                return;
            const auto free = [&](const std::shared_ptr<CopyJob>& j) {
                return std::find(m_busyFolders.begin(), m_busyFolders.end(), j->folder) == m_busyFolders.end();
            };
            const std::size_t looked = std::min(m_waiting.size(), kLookAhead);
            const auto pick = std::find_if(m_waiting.begin(), m_waiting.begin() + static_cast<std::ptrdiff_t>(looked), free);
            const auto taken = pick == m_waiting.begin() + static_cast<std::ptrdiff_t>(looked) ? m_waiting.begin() : pick;
            job = std::move(*taken);
            m_waiting.erase(taken);
            job->state.store(CopyJob::Running, std::memory_order_relaxed);
            m_busyFolders.push_back(job->folder);
            m_furthestStarted = std::max(m_furthestStarted, job->order + 1);
        }
        job->result = m_platform.copyFile(job->source, job->target);
        {
            const std::lock_guard lock(m_lock);
            job->state.store(CopyJob::Done, std::memory_order_release);
            ++m_endedCount;
            m_busyFolders.erase(std::find(m_busyFolders.begin(), m_busyFolders.end(), job->folder));
        }
        m_ended.notify_all();
    }
}

}  // namespace sarvoli::copy
