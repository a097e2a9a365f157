#include "copy/CopyPool.h"

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
        m_waiting.push_back(std::move(job));
    }
    m_work.notify_one();
}

void CopyPool::dropWaiting()
{
    {
        const std::lock_guard lock(m_lock);
        for (const auto& job : m_waiting) {
            job->state.store(CopyJob::Dropped, std::memory_order_release);
            ++m_endedCount;
        }
        m_waiting.clear();
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
            job = std::move(m_waiting.front());
            m_waiting.pop_front();
            job->state.store(CopyJob::Running, std::memory_order_relaxed);
        }
        job->result = m_platform.copyFile(job->source, job->target);
        {
            const std::lock_guard lock(m_lock);
            job->state.store(CopyJob::Done, std::memory_order_release);
            ++m_endedCount;
        }
        m_ended.notify_all();
    }
}

}  // namespace sarvoli::copy
