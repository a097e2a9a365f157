#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <limits>
#include <mutex>
#include <cstdlib>
#include <cstring>

#include "platform/posix/PosixPlatform.h"

// Reading and writing whole files: the copy of the walk and the settings file.
namespace sarvoli::platform {

std::string reasonOf(int error)
{
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);  // the GNU form: safe from any thread
}

std::string parentOf(const std::string& hostPath)
{
    const std::size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : hostPath.substr(0, slash);
}

std::string temporaryName()
{
    static const std::string prefix = ".sarvoli3-" + std::to_string(getpid()) + "-";
    static std::atomic<unsigned long> counter{0};
    return prefix + std::to_string(counter++) + ".tmp";
}

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
}

FolderCache& folderCache()
{
    thread_local FolderCache cache;
    thread_local std::uint64_t seen = 0;
    const std::uint64_t now = g_folderGeneration.load(std::memory_order_acquire);
    if (seen != now) {
        cache.handles.clear();
        cache.memoryFolder.clear();
        seen = now;
    }
    return cache;
}

void forgetAllFolders() { g_folderGeneration.fetch_add(1, std::memory_order_acq_rel); }

void PosixPlatform::forgetFolders() { forgetAllFolders(); }

int FolderHandles::folder(std::string_view hostFolder)
{
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
    if (slash == std::string::npos || slash + 1 == hostPath.size())
        return {AT_FDCWD, hostPath};
    const int dir = folder(slash == 0 ? std::string_view("/") : std::string_view(hostPath).substr(0, slash));
    if (dir < 0)
        return {AT_FDCWD, hostPath};
    return {dir, hostPath.substr(slash + 1)};
}

namespace {

// Copies `length` bytes from `offset` of one file to the same place of the other, or up to the
// source's end where that comes first: by the kernel where it can, by hand where it cannot.
int copyRange(int in, int out, off_t offset, off_t length)
{
    off_t inPos = offset;
    off_t outPos = offset;
    bool kernelCopy = true;
    while (length > 0) {
        ssize_t n = -1;
        if (kernelCopy) {
            n = copy_file_range(in, &inPos, out, &outPos, static_cast<std::size_t>(std::min<off_t>(length, 1 << 30)), 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                kernelCopy = false;
                continue;
            }
        } else {
            char buffer[128 * 1024];
            n = pread(in, buffer, static_cast<std::size_t>(std::min<off_t>(length, sizeof buffer)), inPos);
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = pwrite(out, buffer + done, static_cast<std::size_t>(n - done), outPos + done);
                if (w < 0 && errno != EINTR)
                    return errno;
                done += w > 0 ? w : 0;
            }
            if (n > 0) {
                inPos += n;
                outPos += n;
            }
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;  // the source got shorter since it was opened
        length -= n;
    }
    return 0;
}

// Copies only the parts of a sparse file that hold data, so that its holes stay holes.
// EOPNOTSUPP where the file system cannot tell where they are.
int copySparse(int in, int out, off_t size)
{
    for (off_t position = 0; position < size;) {
        const off_t data = lseek(in, position, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break;  // no data past `position`
            return errno == EINVAL ? EOPNOTSUPP : errno;
        }
        off_t hole = lseek(in, data, SEEK_HOLE);
        if (hole < 0)
            return errno;
        hole = std::min(hole, size);
        if (const int error = copyRange(in, out, data, hole - data); error != 0)
            return error;
        position = hole;
    }
    return ftruncate(out, size) == 0 ? 0 : errno;
}

}  // namespace

int PosixPlatform::copyData(int sourceFd, int destinationFd, std::int64_t size)
{
    // Up to the size the file had when opened, which saves the call that finds the end; files
    // that report no size (as some system files do) are read to their end.
    return copyRange(sourceFd, destinationFd, 0, size > 0 ? size : std::numeric_limits<off_t>::max());
}

int PosixPlatform::fillCopy(int in, int out, const struct stat& source, const struct timespec times[2])
{
    // Fewer blocks than the size needs: the file has holes, which the copy keeps.
    const bool sparse = source.st_size > 0 && source.st_blocks * 512 < source.st_size;
    int error = sparse ? copySparse(in, out, source.st_size) : EOPNOTSUPP;
    if (error == EOPNOTSUPP)
        error = copyData(in, out, static_cast<std::int64_t>(source.st_size));
    if (error != 0)
        return error;
    // The file was created with the source's permission bits; put back what the umask took.
    // File systems that cannot hold the bits (a FAT memory stick) refuse; the data matters more.
    if ((source.st_mode & 0777 & m_umask) != 0 && fchmod(out, source.st_mode & 0777) != 0
        && errno != EPERM && errno != EOPNOTSUPP)
        return errno;
    return futimens(out, times) == 0 ? 0 : errno;
}

bool PosixPlatform::inMemory(const std::string& hostFolder)
{
    FolderCache& cache = folderCache();
    if (hostFolder != cache.memoryFolder) {
        struct statfs fs {};
        cache.memoryFolder = hostFolder;
        cache.memoryAnswer = statfs(hostFolder.c_str(), &fs) == 0
                             && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
    }
    return cache.memoryAnswer;
}

OpResult PosixPlatform::copyFile(std::string_view source, std::string_view destination)
{
    const auto from = m_drives.hostPath(source);
    const auto to = m_drives.hostPath(destination);
    if (!from || !to)
        return OpResult::failure(reasonOf(ENOENT));

    // Non-blocking, so that a pipe met in the tree cannot hang the run; for a regular file
    // the flag changes nothing.
    const AtPath input = folderCache().handles.at(*from);
    Fd in(openat(input.dir, input.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0)
        return OpResult::failure(reasonOf(errno));
    struct stat st {};
    if (fstat(in.get(), &st) != 0)
        return OpResult::failure(reasonOf(errno));
    if (S_ISDIR(st.st_mode))
        return OpResult::failure(reasonOf(EISDIR));
    if (!S_ISREG(st.st_mode))
        return OpResult::failure(reasonOf(EINVAL));

    // Until its data is sure to be on the device a copy is older than its source, so a power
    // cut before finishCopies() leaves it to the next run. In memory there is nothing to wait
    // for; a source too old for an older time is flushed before it gets its name.
    const std::string folder = parentOf(*to);
    const bool memoryOnly = inMemory(folder);
    const bool provisional = !memoryOnly && st.st_mtim.tv_sec >= kEarliestProvisional;
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (provisional)
        times[1] = {st.st_mtim.tv_sec - 4, 0};
    struct stat copy {};
    // Permission bits without set-id bits: a copy must not grant more than its source.
    const mode_t mode = st.st_mode & 0777;
    bool again = false;  // a second attempt reads the source from its start
    const int error = writeNewFile(*to, mode, [&](int out) {
        if (again && lseek(in.get(), 0, SEEK_SET) < 0)
            return errno;
        again = true;
        int e = fillCopy(in.get(), out, st, times);
        if (e == 0 && !memoryOnly && !provisional && fsync(out) != 0)
            e = errno;
        if (e == 0 && provisional && fstat(out, &copy) != 0)
            e = errno;
        return e;
    });
    if (error != 0)
        return OpResult::failure(reasonOf(error));
    if (provisional)
        addPending(folder, to->substr(to->find_last_of('/') + 1), copy, st);
    return OpResult::success();
}

void PosixPlatform::addPending(const std::string& folder, std::string name, const struct stat& copy,
                               const struct stat& source)
{
    const std::lock_guard lock(m_pendingLock);
    if (m_pending.empty() || m_pending.back().folder != folder)
        m_pending.push_back({folder, copy.st_dev, {}});
    m_pending.back().copies.push_back(
        {std::move(name), copy.st_ino, copy.st_mtim, copy.st_size, {source.st_atim, source.st_mtim}});
}

int PosixPlatform::syncFileSystem(int fd) { return syncfs(fd) == 0 ? 0 : errno; }

int PosixPlatform::syncPending()
{
    int error = 0;
    std::vector<dev_t> done;
    for (const PendingFolder& folder : m_pending) {
        if (std::find(done.begin(), done.end(), folder.device) != done.end())
            continue;
        Fd dir(open(folder.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0)
            continue;  // gone since; another folder of the device, or sync() below, serves
        done.push_back(folder.device);
        if (const int e = syncFileSystem(dir.get()); e != 0 && error == 0)
            error = e;
    }
    for (const PendingFolder& folder : m_pending)
        if (std::find(done.begin(), done.end(), folder.device) == done.end()) {
            sync();
            break;
        }
    return error;
}

OpResult PosixPlatform::finishCopies()
{
    const std::lock_guard lock(m_pendingLock);
    if (m_pending.empty())
        return OpResult::success();
    int error = syncPending();
    // Only a copy whose data is on the device gets its final time; after a failure every copy
    // stays older than its source, to be copied again.
    if (error == 0) {
        for (const PendingFolder& folder : m_pending) {
            Fd dir(open(folder.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (dir.get() < 0)
                continue;  // moved or removed since: its copies are copied again
            for (const PendingCopy& copy : folder.copies) {
                struct stat st {};
                // A file put in the copy's place since is not ours to stamp.
                if (fstatat(dir.get(), copy.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_ino != copy.inode
                    || st.st_size != copy.size || st.st_mtim.tv_sec != copy.written.tv_sec
                    || st.st_mtim.tv_nsec != copy.written.tv_nsec)
                    continue;
                if (utimensat(dir.get(), copy.name.c_str(), copy.times, AT_SYMLINK_NOFOLLOW) != 0 && error == 0)
                    error = errno;
            }
        }
        if (const int again = syncPending(); error == 0)
            error = again;
    }
    m_pending.clear();
    return error == 0 ? OpResult::success() : OpResult::failure(reasonOf(error));
}

int PosixPlatform::writeNewFile(const std::string& target, unsigned mode, const std::function<int(int fd)>& fill)
{
    const std::string folder = parentOf(target);
    // An unnamed file that gets its name only when it is complete: a new file then costs a
    // single link, and a failure leaves nothing behind.
    const int unnamed = openUnnamed(folder, mode);
    if (unnamed >= 0) {
        Fd out(unnamed);
        if (const int error = fill(out.get()); error != 0)
            return error;
        const int error = publishUnnamed(out.get(), folderCache().handles.at(target));
        if (error == 0)
            return out.close();
        if (error != kCannotName)
            return error;
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return errno;
    }

    // File systems without unnamed files: a named temporary file renamed over the target.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + "/" + temporaryName();
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    Fd out(fd);
    int error = fill(out.get());
    if (error == 0)
        error = out.close();
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        out.reset();
        unlink(temporary.c_str());
    }
    return error;
}

int PosixPlatform::openUnnamed(const std::string& folder, unsigned mode)
{
    const int dir = folderCache().handles.folder(folder);
    return dir >= 0 ? openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, static_cast<mode_t>(mode))
                    : open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, static_cast<mode_t>(mode));
}

int PosixPlatform::publishUnnamed(int fd, const AtPath& target)
{
    if (linkUnnamed(fd, target) == 0)
        return 0;
    if (errno != EEXIST)
        return errno == ENOENT && access("/proc/self/fd", X_OK) != 0 ? kCannotName : errno;
    // The target exists: name the copy beside it and rename it over the target, so that the
    // old copy stays whole until the new one is.
    const std::size_t slash = target.name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.name.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const AtPath temporary{target.dir, folder + temporaryName()};
        if (linkUnnamed(fd, temporary) != 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        if (renameat(temporary.dir, temporary.name.c_str(), target.dir, target.name.c_str()) != 0) {
            const int error = errno;
            unlinkat(temporary.dir, temporary.name.c_str(), 0);
            return error;
        }
        return 0;
    }
    return EEXIST;
}

int PosixPlatform::linkUnnamed(int fd, const AtPath& name)
{
    if (linkat(fd, "", name.dir, name.name.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM)
        return -1;
    // Without the right to link by descriptor, link through its name in /proc.
    const std::string byName = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, byName.c_str(), name.dir, name.name.c_str(), AT_SYMLINK_FOLLOW);
}
FileContent PosixPlatform::readFile(std::string_view path)
{
    FileContent file;
    const auto host = m_drives.hostPath(path);
    if (!host)
        return file;
    Fd in(open(host->c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            file.result = OpResult::failure(reasonOf(errno));
        return file;
    }
    struct stat st {};
    if (fstat(in.get(), &st) != 0)
        file.result = OpResult::failure(reasonOf(errno));
    else if (S_ISDIR(st.st_mode))
        file.result = OpResult::failure(reasonOf(EISDIR));
    if (!file.result.ok)
        return file;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = read(in.get(), buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            file.result = OpResult::failure(reasonOf(errno));
            file.bytes.clear();
            return file;
        }
        file.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    file.exists = true;
    return file;
}

OpResult PosixPlatform::replaceFile(std::string_view path, std::string_view content)
{
    const auto host = m_drives.hostPath(path);
    if (!host)
        return OpResult::failure(reasonOf(ENOENT));
    std::string target = *host;
    unsigned mode = 0666 & ~m_umask;
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return OpResult::failure(reasonOf(EISDIR));
        // A file without write permission is read-only, and a read-only file is not written.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return OpResult::failure(reasonOf(EACCES));
        mode = st.st_mode & 0777;
        // Through a symbolic link the file it names is replaced, not the link.
        if (char* real = realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    } else if (errno != ENOENT) {
        return OpResult::failure(reasonOf(errno));
    }
    const int error = writeNewFile(target, mode, [&](int out) {
        for (std::size_t done = 0; done < content.size();) {
            const ssize_t w = write(out, content.data() + done, content.size() - done);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += static_cast<std::size_t>(w);
        }
        if (fchmod(out, static_cast<mode_t>(mode)) != 0 && errno != EPERM && errno != EOPNOTSUPP)
            return errno;
        // On the disk before it takes the old file's place, so that a crash leaves one or the other.
        return fsync(out) == 0 ? 0 : errno;
    });
    return error == 0 ? OpResult::success() : OpResult::failure(reasonOf(error));
}

std::string PosixPlatform::executablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return m_drives.pathText(std::string(buffer, static_cast<std::size_t>(n))).value_or(std::string());
}

}  // namespace sarvoli::platform
