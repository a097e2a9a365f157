#include "platform/posix/FolderHandles.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

#include "platform/posix/PosixPlatform.h"

// The folders a run holds open, each thread its own.
namespace sarvoli::platform {

FolderHandles::~FolderHandles() { clear(); }

void FolderHandles::clear()
{
    for (Held& h : m_held) {
        if (h.fd >= 0)
            ::close(h.fd);
        h = {};
    }
}

namespace {
std::atomic<std::uint64_t> g_folderGeneration{0};
// Outside a run nothing is held: a folder picked or a settings file written leaves no disk busy.
std::atomic<bool> g_holding{false};
}

FolderCache& folderCache()
{
    thread_local FolderCache cache;
    thread_local std::uint64_t seen = 0;
    const std::uint64_t now = g_folderGeneration.load(std::memory_order_acquire);
    if (seen != now) {
        cache.handles.clear();
        cache.fileSystemFolder.clear();
        seen = now;
    }
    return cache;
}

void holdAllFolders(bool hold)
{
    g_holding.store(hold, std::memory_order_release);
    g_folderGeneration.fetch_add(1, std::memory_order_acq_rel);
    folderCache();  // the calling thread's handles go now
}

bool holdingFolders() { return g_holding.load(std::memory_order_acquire); }

void PosixPlatform::holdFolders(bool hold)
{
    holdAllFolders(hold);
    // What a file system refused is asked again in the next run: it may be another by then.
    const std::lock_guard lock(m_runLock);
    m_unnamedRefused.clear();
    m_kernelCopyRefused.clear();
    m_fileSystems.clear();
}

int FolderHandles::folder(std::string_view hostFolder)
{
    if (!g_holding.load(std::memory_order_acquire))
        return -1;
    for (const Held& h : m_held)
        if (h.fd >= 0 && h.folder == hostFolder)
            return h.fd;
    Held& slot = m_held[m_next];
    const int fd = open(std::string(hostFolder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    m_next = (m_next + 1) % m_held.size();
    if (slot.fd >= 0)
        ::close(slot.fd);
    slot.folder = hostFolder;
    slot.fd = fd;
    return fd;
}

AtPath FolderHandles::at(const std::string& hostPath)
{
    const std::size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == hostPath.size() || !g_holding.load(std::memory_order_acquire))
        return {AT_FDCWD, hostPath};
    const int dir = folder(slash == 0 ? std::string_view("/") : std::string_view(hostPath).substr(0, slash));
    if (dir < 0)
        return {AT_FDCWD, hostPath};
    return {dir, hostPath.substr(slash + 1)};
}

}  // namespace sarvoli::platform
