#ifndef _WIN32

#include "FaultyPosixPlatform.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sarvoli::testing {

namespace {

// The descriptor this thread last read from: in a copy by hand, the source of what it writes next.
thread_local int lastRead = -1;

}  // namespace

std::string SystemCallFaults::pathOf(int fd)
{
    char path[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

void SystemCallFaults::letStalledGoOn()
{
    const std::lock_guard lock(m_lock);
    m_goOn = true;
    m_stallChanged.notify_all();
}

ssize_t SystemCallFaults::copies(int in, std::size_t length, const std::function<ssize_t(std::size_t)>& copy)
{
    if (!stallAt.empty() && pathOf(in).ends_with(stallAt)) {
        std::unique_lock lock(m_lock);
        stalled = true;
        m_stallChanged.wait(lock, [&] { return m_goOn; });
    }
    const int cut = cutWith != 0 ? cutWith : cutNext.exchange(false) ? EIO : 0;
    if (cut == 0)
        return copy(length);
    (void)copy(std::min<std::size_t>(length, 4096));
    errno = cut;
    return -1;
}

platform::SystemCalls SystemCallFaults::calls()
{
    const platform::SystemCalls system;
    platform::SystemCalls faulty = system;
    faulty.readdir = [this, system](DIR* dir) -> dirent* {
        if (!brokenFolder.empty() && pathOf(dirfd(dir)) == brokenFolder) {
            const std::lock_guard lock(m_lock);
            if (++m_entriesRead[dir] > breaksAfter) {
                errno = EIO;
                return nullptr;
            }
        }
        return system.readdir(dir);
    };
    faulty.openUnnamed = [this, system](int dir, const char* path, int flags, mode_t mode) {
        ++unnamedAsked;
        if (refusesOptionalCalls || refusesUnnamed) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return system.openUnnamed(dir, path, flags, mode);
    };
    faulty.copy_file_range = [this, system](int in, off_t* inPosition, int out, off_t* outPosition, size_t length,
                                            unsigned flags) -> ssize_t {
        ++kernelCopyAsked;
        if (refusesOptionalCalls || writesNothing) {
            errno = EXDEV;
            return -1;
        }
        return copies(in, length, [&](std::size_t n) {
            return system.copy_file_range(in, inPosition, out, outPosition, n, flags);
        });
    };
    faulty.pwrite = [this, system](int fd, const void* buffer, size_t size, off_t offset) -> ssize_t {
        if (writesNothing)
            return 0;
        return copies(lastRead, size, [&](std::size_t n) { return system.pwrite(fd, buffer, n, offset); });
    };
    faulty.pread = [this, system](int fd, void* buffer, size_t size, off_t offset) -> ssize_t {
        lastRead = fd;
        const ssize_t n = system.pread(fd, buffer, size, offset);
        if (n > 0 && offset == 0 && !corruptCopy.empty()) {
            const std::string path = pathOf(fd);
            if (corruptCopy.ends_with('/') ? path.starts_with(corruptCopy) : path == corruptCopy)
                static_cast<char*>(buffer)[0] ^= 0x20;
        }
        return n;
    };
    faulty.fsync = [this, system](int fd) {
        ++fileSyncs;
        return system.fsync(fd);
    };
    faulty.syncfs = [this, system](int fd) {
        if (deviceFails) {
            errno = EIO;
            return -1;
        }
        const int result = system.syncfs(fd);
        if (++fileSystemSyncs == 1 && afterFirstSync)
            afterFirstSync();
        return result;
    };
    faulty.statfs = [this, system](const char* path, struct statfs* fs) {
        const int result = system.statfs(path, fs);
        if (!fileSystem)
            return result;
        if (*fileSystem == 0) {
            errno = ENOSYS;
            return -1;
        }
        if (result != 0)
            *fs = {};
        fs->f_type = *fileSystem;
        return 0;
    };
    return faulty;
}

}  // namespace sarvoli::testing

#endif
