#include "platform/posix/FolderHandles.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/posix/PosixPlatform.h"

// The folders a run holds open, each thread its own, and the guard below its destination.
namespace sarvoli::platform {

FolderHandles::~FolderHandles() { reset({}); }

void FolderHandles::reset(const std::string& root)
{
    for (Held& h : m_held) {
        if (h.fd >= 0)
            ::close(h.fd);
        h = {};
    }
    if (m_rootFd >= 0)
        ::close(m_rootFd);
    m_rootFd = -1;
    m_root = root;
}

namespace {
std::atomic<std::uint64_t> g_folderGeneration{0};
// Outside a run nothing is held: a folder picked or a settings file written leaves no disk busy.
std::atomic<bool> g_holding{false};
std::mutex g_guardLock;
std::string g_guardRoot;  // the host folder below which no link is followed; empty for none

// Whether the kernel resolves a path without links in one call (openat2, Linux 5.6): asked
// once, so that a kernel or a sandbox without it is not asked again at every folder.
std::atomic<bool> g_noOpenat2{false};

bool isSymbolicLink(int dir, const char* name)
{
    struct stat st {};
    return fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}
}  // namespace

FolderCache& folderCache()
{
    thread_local FolderCache cache;
    thread_local std::uint64_t seen = 0;
    const std::uint64_t now = g_folderGeneration.load(std::memory_order_acquire);
    if (seen != now) {
        std::string root;
        {
            const std::lock_guard lock(g_guardLock);
            root = g_guardRoot;
        }
        cache.handles.reset(root);
        cache.fileSystemFolder.clear();
        seen = now;
    }
    return cache;
}

void holdAllFolders(bool hold)
{
    g_holding.store(hold, std::memory_order_release);
    if (!hold) {
        const std::lock_guard lock(g_guardLock);
        g_guardRoot.clear();
    }
    g_folderGeneration.fetch_add(1, std::memory_order_acq_rel);
    folderCache();  // the calling thread's handles go now
}

void guardAllBelow(const std::string& root)
{
    {
        const std::lock_guard lock(g_guardLock);
        g_guardRoot = root;
        while (g_guardRoot.size() > 1 && g_guardRoot.back() == '/')
            g_guardRoot.pop_back();
    }
    g_folderGeneration.fetch_add(1, std::memory_order_acq_rel);
    folderCache();
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

void PosixPlatform::guardBelow(std::string_view root)
{
    if (const auto host = hostFolder(root); host && holdingFolders())
        guardAllBelow(*host);
}

bool FolderHandles::guarded(std::string_view hostPath) const
{
    if (m_root.empty())
        return false;
    if (m_root == "/")
        return hostPath.size() > 1 && hostPath[0] == '/';
    return hostPath.size() > m_root.size() + 1 && hostPath.starts_with(m_root) && hostPath[m_root.size()] == '/';
}

int FolderHandles::openBelowRoot(std::string_view hostFolder, int flags)
{
    // The guarded folder itself may be a link, or lie below one: only what is below it is the
    // run's to guard.
    if (m_rootFd < 0) {
        m_rootFd = ::open(m_root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (m_rootFd < 0)
            return -1;
    }
    std::string relative(hostFolder.substr(m_root == "/" ? 1 : m_root.size() + 1));
    while (!relative.empty() && relative.back() == '/')
        relative.pop_back();
    if (!g_noOpenat2.load(std::memory_order_relaxed)) {
        struct open_how how {};
        how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
        const long fd = syscall(SYS_openat2, m_rootFd, relative.c_str(), &how, sizeof how);
        if (fd >= 0)
            return static_cast<int>(fd);
        if (errno != ENOSYS && errno != EPERM && errno != E2BIG)
            return -1;
        g_noOpenat2.store(true, std::memory_order_relaxed);  // an older kernel, or a sandbox that bars it
    }
    // A folder at a time, none of them a link.
    int dir = m_rootFd;
    for (std::size_t start = 0; start <= relative.size();) {
        const std::size_t slash = std::min(relative.find('/', start), relative.size());
        const std::string part = relative.substr(start, slash - start);
        const bool last = slash == relative.size();
        const int next = openat(dir, part.c_str(), (last ? flags : O_PATH | O_DIRECTORY) | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        const bool link = next < 0 && (error == ELOOP || error == ENOTDIR) && isSymbolicLink(dir, part.c_str());
        if (dir != m_rootFd)
            ::close(dir);
        if (next < 0) {
            errno = link ? ELOOP : error;
            return -1;
        }
        dir = next;
        start = slash + 1;
    }
    return dir;
}

int FolderHandles::open(const std::string& hostFolder, int flags)
{
    return guarded(hostFolder) ? openBelowRoot(hostFolder, flags) : ::open(hostFolder.c_str(), flags | O_CLOEXEC);
}

int FolderHandles::folder(std::string_view hostFolder, bool following)
{
    if (!g_holding.load(std::memory_order_acquire)) {
        errno = EBADF;
        return -1;
    }
    const bool guard = !following && guarded(hostFolder);
    for (const Held& h : m_held)
        if (h.fd >= 0 && h.folder == hostFolder && (h.safe || !guard))
            return h.fd;
    const int fd = guard ? openBelowRoot(hostFolder, O_PATH | O_DIRECTORY)
                         : ::open(std::string(hostFolder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    Held& slot = m_held[m_next];
    m_next = (m_next + 1) % m_held.size();
    if (slot.fd >= 0)
        ::close(slot.fd);
    slot.folder = hostFolder;
    slot.fd = fd;
    slot.safe = guard || !guarded(hostFolder);
    return fd;
}

AtPath FolderHandles::atIn(const std::string& hostPath, bool following)
{
    const std::size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == hostPath.size() || !g_holding.load(std::memory_order_acquire))
        return {AT_FDCWD, hostPath};
    const std::string_view parent = slash == 0 ? std::string_view("/") : std::string_view(hostPath).substr(0, slash);
    const int dir = folder(parent, following);
    if (dir >= 0)
        return {dir, hostPath.substr(slash + 1)};
    // The whole path would go through whatever link stands in the way.
    if (!following && guarded(parent))
        return {-1, hostPath.substr(slash + 1), errno != 0 ? errno : EBADF};
    return {AT_FDCWD, hostPath};
}

AtPath FolderHandles::at(const std::string& hostPath) { return atIn(hostPath, false); }

AtPath FolderHandles::atFollowing(const std::string& hostPath) { return atIn(hostPath, true); }

}  // namespace sarvoli::platform
