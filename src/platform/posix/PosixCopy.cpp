#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <vector>

#include "platform/TemporaryName.h"
#include "platform/posix/FolderHandles.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixPlatform.h"

// The copy of the walk: the data, the way to the device, and what a killed run left.
namespace sarvoli::platform {

int PosixPlatform::copyRange(int in, int out, off_t offset, off_t length)
{
    off_t inPos = offset;
    off_t outPos = offset;
    FolderCache& cache = folderCache();
    while (length > 0) {
        // A run given up while its device did not answer copies no more once the device does.
        if (cache.cancelled && cache.cancelled->load(std::memory_order_relaxed))
            return ECANCELED;
        ssize_t n = -1;
        if (cache.kernelCopy) {
            // Pieces small enough that a slow device still answers every few seconds.
            n = kernelCopy(in, &inPos, out, &outPos, static_cast<std::size_t>(std::min<off_t>(length, 8 << 20)));
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                // EINVAL may be this file's alone; the others say that the file systems cannot.
                cache.kernelCopyRefused = errno != EINVAL;
                cache.kernelCopy = false;
                continue;
            }
        } else {
            char buffer[128 * 1024];
            n = m_calls.pread(in, buffer, static_cast<std::size_t>(std::min<off_t>(length, sizeof buffer)), inPos);
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = m_calls.pwrite(out, buffer + done, static_cast<std::size_t>(n - done), outPos + done);
                if (w < 0 && errno != EINTR)
                    return errno;
                if (w == 0)
                    return EIO;  // a device that takes nothing and says nothing: asking again would never end
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
        m_answers.fetch_add(1, std::memory_order_relaxed);
        length -= n;
    }
    return 0;
}

ssize_t PosixPlatform::kernelCopy(int in, off_t* inPosition, int out, off_t* outPosition, std::size_t length)
{
    return m_calls.copy_file_range(in, inPosition, out, outPosition, length, 0);
}

int PosixPlatform::copySparse(int in, int out, off_t size)
{
    // EOPNOTSUPP where the file system cannot tell where the holes are.
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

long PosixPlatform::fileSystemType(const std::string& hostFolder)
{
    struct statfs fs {};
    return m_calls.statfs(hostFolder.c_str(), &fs) == 0 ? static_cast<long>(fs.f_type) : 0;
}

int PosixPlatform::syncFile(int fd)
{
    const int error = m_calls.fsync(fd) == 0 ? 0 : errno;
    m_answers.fetch_add(1, std::memory_order_relaxed);
    return error;
}

int PosixPlatform::syncFileSystem(int fd)
{
    const int error = m_calls.syncfs(fd) == 0 ? 0 : errno;
    m_answers.fetch_add(1, std::memory_order_relaxed);
    return error;
}

long PosixPlatform::fileSystemAt(const std::string& hostFolder)
{
    // Outside a run a folder's file system is asked anew each time: a disk may be swapped.
    if (!holdingFolders())
        return fileSystemType(hostFolder);
    // Once a run: workers go from folder to folder, each copying into a few at a time.
    FolderCache& cache = folderCache();
    if (hostFolder != cache.fileSystemFolder) {
        cache.fileSystemFolder = hostFolder;
        std::unique_lock lock(m_runLock);
        if (const auto known = m_fileSystems.find(hostFolder); known != m_fileSystems.end()) {
            cache.fileSystem = known->second;
        } else {
            lock.unlock();
            cache.fileSystem = fileSystemType(hostFolder);
            lock.lock();
            m_fileSystems.emplace(hostFolder, cache.fileSystem);
        }
    }
    return cache.fileSystem;
}

bool PosixPlatform::triesKernelCopy(dev_t source, long fileSystem)
{
    if (!triesOptionalCalls(fileSystem))
        return false;
    const std::lock_guard lock(m_runLock);
    return std::find(m_kernelCopyRefused.begin(), m_kernelCopyRefused.end(), std::make_pair(source, fileSystem))
           == m_kernelCopyRefused.end();
}

namespace {

// Opens a source file for its copy, with what fstat() tells of it. Non-blocking, so that a pipe
// met in the tree cannot hang the run; for a regular file the flag changes nothing. A file gone
// since its folder was listed (a temporary file of another program) is nothing to back up, as a
// folder gone since is not: unneeded. A link that points nowhere is there, and fails.
OpResult openSource(const std::string& hostPath, Fd& in, struct stat& st)
{
    const AtPath input = folderCache().handles.atFollowing(hostPath);
    in = Fd(openat(input.dir, input.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0) {
        const int error = errno;
        if ((error == ENOENT || error == ENOTDIR) && fstatat(input.dir, input.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0
            && (errno == ENOENT || errno == ENOTDIR))
            return OpResult::notNeeded();
        return OpResult::failure(systemError(error));
    }
    if (fstat(in.get(), &st) != 0)
        return OpResult::failure(systemError(errno));
    if (S_ISDIR(st.st_mode) || !S_ISREG(st.st_mode))
        return OpResult::failure(systemError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    return OpResult::success();
}

}  // namespace

OpResult PosixPlatform::copyFile(std::string_view source, std::string_view destination, const CopyDecision& decision)
{
    const auto from = m_drives.hostPath(source);
    const auto to = m_drives.hostPath(destination);
    if (!from || !to)
        return OpResult::failure(systemError(ENOENT));
    Fd in;
    struct stat st {};
    if (OpResult opened = openSource(*from, in, st); !opened.ok)
        return opened;

    // A new copy on a disk flushed by batches is older than its source until its data is sure
    // to be on the device, so a power cut before finishCopies() leaves it to the next run.
    // Elsewhere the copy has its final time at once: in memory there is nothing to wait for, a
    // device flushed copy by copy has the data before the name, and a source too old for an
    // older time is flushed by itself too.
    const std::string folder = parentOf(*to);
    const long fileSystem = fileSystemAt(folder);
    const Durability durability = durabilityOf(fileSystem);
    // A file system that refused the kernel's copy from this source's device is not asked again.
    FolderCache& cache = folderCache();
    cache.kernelCopy = triesKernelCopy(st.st_dev, fileSystem);
    cache.kernelCopyRefused = false;
    cache.cancelled = decision.cancelled;
    const bool batch = durability == Durability::Batch || durability == Durability::BatchByName;
    const bool provisional = batch && st.st_mtim.tv_sec >= kEarliestProvisional;
    // Where one syncfs is trusted with a whole batch, a copy that replaces a file waits beside it
    // under a temporary name: the batch's one flush puts it on the device before it takes the
    // old copy's place, instead of a flush of each copy before its rename.
    const bool waits = durability == Durability::Batch;
    std::string waiting;
    const struct timespec finalTimes[2] = {st.st_atim, st.st_mtim};
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (provisional)
        times[1] = {st.st_mtim.tv_sec - 4, 0};
    struct stat copy {};
    bool replaced = false;
    // Permission bits without set-id bits: a copy must not grant more than its source.
    const mode_t mode = st.st_mode & 0777;
    bool again = false;  // a second attempt reads the source from its start
    const auto fill = [&](int out) {
        if (again && lseek(in.get(), 0, SEEK_SET) < 0)
            return errno;
        again = true;
        replaced = false;
        int e = fillCopy(in.get(), out, st, times);
        if (e == 0 && !provisional && durability != Durability::Memory)
            e = syncFile(out);
        if (e == 0 && batch && fstat(out, &copy) != 0)
            e = errno;
        // Given up meanwhile: the copy takes no name.
        if (e == 0 && decision.cancelled && decision.cancelled->load())
            e = ECANCELED;
        return e;
    };
    // The old copy, where it is to be kept, moves aside only once this one is on the device
    // (or, waiting for its batch, once the batch is), just before this one takes its place.
    std::optional<std::string> keepAs;
    if (!decision.keepAs.empty() && !(keepAs = m_drives.hostPath(decision.keepAs)))
        return OpResult::failure(systemError(ENOENT));
    AtPath keptFrom;
    bool keptOld = false;
    // Just before the copy takes the place of a file at its target: the copy was decided on what
    // the target was then, and another program may have written it since (the walk reads folders
    // ahead, and copies wait their turn). The file there stays whole until this one is on the
    // device: flushed with its final time before it takes the old one's place.
    const auto beforeReplacing = [&](int out, const AtPath& target) {
        struct stat there {};
        if (const int allowed =
                targetAllows(target.dir, target.name.c_str(), st.st_mtim.tv_sec, st.st_size, decision.rule,
                             decision.rule ? utcOffset() : 0, there);
            allowed != 0 || there.st_mode == 0)  // nothing there: nothing to keep
            return allowed;
        if (provisional) {
            replaced = true;
            if (futimens(out, finalTimes) != 0)
                return errno;
        }
        if (waits)
            return kWaits;
        if (const int e = provisional ? syncFile(out) : 0; e != 0 || !keepAs)
            return e;
        if (const int e = keepAside(target, *keepAs); e != 0)
            return e;
        keptFrom = target;
        keptOld = true;
        return 0;
    };
    // Where each question is a round trip, a copy decided onto no file does not ask again: a new
    // one elsewhere is named without a question (the unnamed file's link refuses to replace).
    const bool asks = provisional || keepAs
                      || (decision.rule && (decision.targetSeen || durability != Durability::EachFile));
    const int error = writeNewFile(*to, mode, fill, asks ? BeforeReplacing(beforeReplacing) : BeforeReplacing(),
                                   fileSystem, &waiting);
    // Moved aside and then not replaced after all: back in its place, as a failed copy leaves it.
    if (keptOld && error != 0 && error != kWaits) {
        putBack(keptFrom, *keepAs);
        keptOld = false;
    }
    if (cache.kernelCopyRefused && holdingFolders()) {
        const std::lock_guard lock(m_runLock);
        m_kernelCopyRefused.emplace_back(st.st_dev, fileSystem);
    }
    cache.kernelCopy = true;
    cache.cancelled = nullptr;
    if (error == kUnneeded)
        return OpResult::notNeeded();
    if (error != 0 && error != kWaits)
        return OpResult::failure(systemError(error));
    // Even a copy with its data on the device needs its name there before the summary.
    if (batch)
        addPending(folder,
                   {to->substr(to->find_last_of('/') + 1), std::string(destination), copy.st_ino, copy.st_mtim,
                    copy.st_size, {st.st_atim, st.st_mtim}, provisional && !replaced, std::move(waiting),
                    decision.rule, st.st_size, keepAs.value_or(std::string())},
                   copy.st_dev, durability == Durability::BatchByName);
    OpResult copied = OpResult::success();
    copied.onDevice = !batch;
    copied.kept = keptOld;
    return copied;
}

int PosixPlatform::keepAside(const AtPath& target, const std::string& keepAs)
{
    // Never over a copy kept already: another run's in the same second, say.
    if (renameat2(target.dir, target.name.c_str(), AT_FDCWD, keepAs.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat there {};
    if (fstatat(AT_FDCWD, keepAs.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return renameat(target.dir, target.name.c_str(), AT_FDCWD, keepAs.c_str()) == 0 ? 0 : errno;
}

void PosixPlatform::putBack(const AtPath& target, const std::string& keepAs)
{
    if (renameat2(AT_FDCWD, keepAs.c_str(), target.dir, target.name.c_str(), RENAME_NOREPLACE) == 0 || errno == EEXIST)
        return;
    struct stat there {};
    if (fstatat(target.dir, target.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
        renameat(AT_FDCWD, keepAs.c_str(), target.dir, target.name.c_str());
}

void PosixPlatform::addPending(const std::string& folder, PendingCopy copy, dev_t device, bool byName)
{
    const std::lock_guard lock(m_pendingLock);
    // Workers copy into a few folders at once: one of the last few is mostly the folder's own.
    const auto lastFew = m_pending.rbegin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(m_pending.size(), 16));
    const auto held = std::find_if(m_pending.rbegin(), lastFew, [&](const PendingFolder& f) { return f.folder == folder; });
    PendingFolder& pending =
        held != lastFew ? *held : m_pending.emplace_back(PendingFolder{folder, device, byName, {}});
    pending.copies.push_back(std::move(copy));
}

std::vector<PosixPlatform::DeviceSync> PosixPlatform::syncPending(const std::vector<dev_t>& only)
{
    std::vector<DeviceSync> done;
    const auto isDone = [&](dev_t device) {
        return std::any_of(done.begin(), done.end(), [&](const DeviceSync& d) { return d.device == device; });
    };
    for (const PendingFolder& folder : m_pending) {
        if (isDone(folder.device) || (!only.empty() && std::find(only.begin(), only.end(), folder.device) == only.end()))
            continue;
        Fd dir(folderCache().handles.open(folder.folder, O_RDONLY | O_DIRECTORY));
        if (dir.get() < 0)
            continue;  // gone since; another folder of the device, or sync() below, serves
        done.push_back({folder.device, syncFileSystem(dir.get())});
    }
    for (const PendingFolder& folder : m_pending)
        if (!isDone(folder.device) && (only.empty() || std::find(only.begin(), only.end(), folder.device) != only.end())) {
            sync();
            break;
        }
    return done;
}

namespace {

int errorOf(const std::vector<PosixPlatform::DeviceSync>& syncs, dev_t device)
{
    for (const auto& s : syncs)
        if (s.device == device)
            return s.error;
    return 0;
}

}  // namespace

int PosixPlatform::targetAllows(int dir, const char* name, time_t sourceSeconds, off_t sourceSize, CopyRule rule,
                                std::int64_t utcOffset, struct stat& there)
{
    if (fstatat(dir, name, &there, 0) != 0) {  // as the walk asked: through a link there
        const int error = errno;
        there = {};
        return error == ENOENT || error == ENOTDIR ? 0 : error;  // gone since: nothing to keep
    }
    if (S_ISDIR(there.st_mode))
        return EISDIR;  // the rename would refuse
    if (rule) {
        const FileAge now{{}, true, text::FileTime::fromUtc(there.st_mtim.tv_sec, utcOffset), there.st_size};
        const FileAge copied{{}, true, text::FileTime::fromUtc(sourceSeconds, utcOffset), sourceSize};
        if (!rule(copied, now))
            return kUnneeded;
    }
    return 0;
}

int PosixPlatform::replaceWith(int dir, const PendingCopy& copy, bool byName, std::int64_t utcOffset, bool& kept)
{
    kept = false;
    const char* temporary = copy.waiting.c_str();
    const auto dropped = [&](int error) {
        unlinkat(dir, temporary, 0);
        return error;
    };
    // Still the copy as written: the temporary file may have been removed or put there anew.
    struct stat waiting {};
    if (fstatat(dir, temporary, &waiting, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISREG(waiting.st_mode) || (!byName && waiting.st_ino != copy.inode) || waiting.st_size != copy.size)
        return ENOENT;
    // The file there asked again: written by another program since the copy was decided, it is
    // no longer older, and stays.
    struct stat there {};
    const int allowed = targetAllows(dir, copy.name.c_str(), copy.times[1].tv_sec, copy.sourceSize, copy.rule,
                                     utcOffset, there);
    if (allowed != 0 && allowed != kUnneeded)
        return dropped(allowed);
    // Another run made the same copy meanwhile: it is there, as this one would have been.
    if (S_ISREG(there.st_mode) && there.st_size == copy.sourceSize && there.st_mtim.tv_sec == copy.times[1].tv_sec
        && there.st_mtim.tv_nsec == copy.times[1].tv_nsec)
        return dropped(0);
    if (allowed == kUnneeded)
        return dropped(kUnneeded);
    const AtPath target{dir, copy.name};
    if (!copy.keepAs.empty() && there.st_mode != 0) {
        if (const int error = keepAside(target, copy.keepAs); error != 0)
            return dropped(error);
        kept = true;
    }
    if (renameat(dir, temporary, dir, copy.name.c_str()) == 0)
        return 0;
    const int error = errno;
    if (kept)
        putBack(target, copy.keepAs);
    kept = false;
    return dropped(error);
}

FinishResult PosixPlatform::finishCopies()
{
    const std::lock_guard lock(m_pendingLock);
    FinishResult finish;
    if (m_pending.empty())
        return finish;
    int firstError = 0;
    const auto lose = [&](const PendingCopy& copy, int error) {
        finish.lost.push_back(copy.pathText);
        if (firstError == 0)
            firstError = error;
    };

    // Only a copy whose data is on the device gets its final time; where the device's flush
    // failed, every copy it held stays older than its source, to be copied again, and none of
    // them is a copy.
    const std::vector<DeviceSync> first = syncPending({});
    std::vector<dev_t> stamped;
    std::vector<std::pair<dev_t, const PendingCopy*>> stamps;
    const auto named = [&](dev_t device, const PendingCopy& copy) {
        stamps.push_back({device, &copy});
        if (std::find(stamped.begin(), stamped.end(), device) == stamped.end())
            stamped.push_back(device);
    };
    const std::int64_t offset = utcOffset();
    for (const PendingFolder& folder : m_pending) {
        Fd dir(folderCache().handles.open(folder.folder, O_PATH | O_DIRECTORY));
        const int dirError = dir.get() < 0 ? errno : 0;
        if (const int error = errorOf(first, folder.device); error != 0) {
            for (const PendingCopy& copy : folder.copies) {
                // A replacement not on the device never takes the old copy's place.
                if (!copy.waiting.empty() && dir.get() >= 0)
                    unlinkat(dir.get(), copy.waiting.c_str(), 0);
                lose(copy, error);
            }
            continue;
        }
        for (const PendingCopy& copy : folder.copies) {
            if (!copy.stamp && copy.waiting.empty())
                continue;
            if (dir.get() < 0) {  // moved or removed since: its copies are not where they were put
                lose(copy, dirError);
                continue;
            }
            struct stat st {};
            if (!copy.waiting.empty()) {
                bool kept = false;
                const int error = replaceWith(dir.get(), copy, folder.byName, offset, kept);
                finish.kept += kept ? 1 : 0;
                if (error == 0)
                    named(folder.device, copy);
                else
                    finish.notReplaced.emplace_back(copy.pathText, error == kUnneeded
                                                                       ? OpResult::notNeeded()
                                                                       : OpResult::failure(systemError(error)));
                continue;
            }
            // A file put in the copy's place since is not ours to stamp. Where the file system
            // numbers an inode anew each time it is read, the copy is known by its size and time.
            if (fstatat(dir.get(), copy.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0
                || (!folder.byName && st.st_ino != copy.inode) || st.st_size != copy.size
                || st.st_mtim.tv_sec != copy.written.tv_sec || st.st_mtim.tv_nsec != copy.written.tv_nsec)
                continue;
            if (utimensat(dir.get(), copy.name.c_str(), copy.times, AT_SYMLINK_NOFOLLOW) != 0) {
                lose(copy, errno);
                continue;
            }
            named(folder.device, copy);
        }
    }
    // The final times and the replacements' names on the device too: where that fails, a copy
    // may come back older or the old one after a cut, which the next run would mend, but it is
    // not known to be there.
    if (!stamped.empty()) {
        const std::vector<DeviceSync> second = syncPending(stamped);
        for (const auto& [device, copy] : stamps)
            if (const int error = errorOf(second, device); error != 0)
                lose(*copy, error);
    }
    m_pending.clear();
    if (firstError != 0)
        finish.result = OpResult::failure(systemError(firstError));
    return finish;
}

OpResult PosixPlatform::previewCopy(std::string_view source, std::string_view destination)
{
    const auto from = m_drives.hostPath(source);
    const auto to = m_drives.hostPath(destination);
    if (!from || !to)
        return OpResult::failure(systemError(ENOENT));
    // The source as the copy opens it: a link that points nowhere, or a file that may not be read.
    Fd in;
    struct stat st {};
    if (OpResult opened = openSource(*from, in, st); !opened.ok)
        return opened;

    // A folder at the copy's place refuses the rename over it.
    const AtPath target = folderCache().handles.at(*to);
    if (target.error != 0 && target.error != ENOENT)
        return OpResult::failure(systemError(target.error));
    if (target.error == 0 && fstatat(target.dir, target.name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode))
        return OpResult::failure(systemError(EISDIR));
    // The copy's folder, or where the folders made for it would begin, must be a folder that
    // this user may write in.
    std::string folder = parentOf(*to);
    while (lstat(folder.c_str(), &st) != 0 && errno == ENOENT && folder != parentOf(folder))
        folder = parentOf(folder);
    if (stat(folder.c_str(), &st) != 0)
        return OpResult::failure(systemError(errno));
    if (!S_ISDIR(st.st_mode))
        return OpResult::failure(systemError(ENOTDIR));
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return OpResult::failure(systemError(errno));
    // A name longer than the file system takes, or one that FAT cannot hold.
    const std::string name = to->substr(to->find_last_of('/') + 1);
    struct statfs fs {};
    if (m_calls.statfs(folder.c_str(), &fs) == 0) {
        if (fs.f_namelen > 0 && name.size() > static_cast<std::size_t>(fs.f_namelen))
            return OpResult::failure(systemError(ENAMETOOLONG));
        if (refusesName(static_cast<long>(fs.f_type), name))
            return OpResult::failure(systemError(EINVAL));
    }
    return OpResult::success();
}

ssize_t PosixPlatform::readCopy(int fd, char* buffer, std::size_t size, off_t offset)
{
    return m_calls.pread(fd, buffer, size, offset);
}

namespace {

// Reads as much as `size` asks, unless the file ends first; -1 with errno set on failure.
template <typename Read>
ssize_t readFully(Read read, char* buffer, std::size_t size, off_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(buffer + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

Verification PosixPlatform::verifyCopy(std::string_view source, std::string_view copy)
{
    Verification v;
    const auto from = m_drives.hostPath(source);
    const auto to = m_drives.hostPath(copy);
    if (!from || !to) {
        v.result = OpResult::failure(systemError(ENOENT));
        return v;
    }
    // The copy as the run named it: never a link put in its place since.
    const AtPath copied = folderCache().handles.at(*to);
    Fd in(open(from->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0 || copied.error != 0) {
        v.result = OpResult::failure(systemError(in.get() < 0 ? errno : copied.error));
        return v;
    }
    Fd back(openat(copied.dir, copied.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat sourceStat {};
    struct stat copyStat {};
    if (back.get() < 0 || fstat(in.get(), &sourceStat) != 0 || fstat(back.get(), &copyStat) != 0) {
        v.result = OpResult::failure(systemError(errno));
        return v;
    }
    // Its data is on the device by now: what memory holds of it goes, so that the read comes from
    // the device (through the server on a network or FUSE file system).
    posix_fadvise(back.get(), 0, 0, POSIX_FADV_DONTNEED);
    v.same = sourceStat.st_size == copyStat.st_size;
    // Buffers of the file's size up to a chunk, left unfilled: most files are small, and
    // clearing two chunks for each cost more than reading it.
    constexpr off_t kChunk = 256 * 1024;
    const auto chunk = static_cast<std::size_t>(std::clamp<off_t>(sourceStat.st_size, 1, kChunk));
    const std::unique_ptr<char[]> a(new char[chunk]);
    const std::unique_ptr<char[]> b(new char[chunk]);
    for (off_t at = 0; v.same && at < sourceStat.st_size; at += static_cast<off_t>(chunk)) {
        const ssize_t n = readFully([&](char* p, std::size_t s, off_t o) { return m_calls.pread(in.get(), p, s, o); },
                                    a.get(), chunk, at);
        const ssize_t m = readFully([&](char* p, std::size_t s, off_t o) { return readCopy(back.get(), p, s, o); },
                                    b.get(), chunk, at);
        if (n < 0 || m < 0) {
            v.result = OpResult::failure(systemError(errno));
            return v;
        }
        v.same = n == m && std::memcmp(a.get(), b.get(), static_cast<std::size_t>(n)) == 0;
    }
    if (!v.same) {
        // Older than its source, so that the next run copies it again.
        const struct timespec older[2] = {sourceStat.st_atim, {std::max<time_t>(sourceStat.st_mtim.tv_sec - 4, 0), 0}};
        if (utimensat(copied.dir, copied.name.c_str(), older, AT_SYMLINK_NOFOLLOW) != 0)
            unlinkat(copied.dir, copied.name.c_str(), 0);
    }
    return v;
}

namespace {

// Removes the folder `name` of the folder `parent` with everything in it; 0 or the first errno
// value met. A link inside is removed as the link it is, and one at `name` is refused.
int removeTreeAt(int parent, const char* name)
{
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    int first = 0;
    while (const dirent* d = readdir(dir)) {
        const std::string_view entry(d->d_name);
        if (entry == "." || entry == "..")
            continue;
        struct stat st {};
        int error = fstatat(dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ? errno : 0;
        if (error == 0)
            error = S_ISDIR(st.st_mode) ? removeTreeAt(dirfd(dir), d->d_name)
                                        : (unlinkat(dirfd(dir), d->d_name, 0) == 0 ? 0 : errno);
        if (first == 0 && error != 0)
            first = error;
    }
    closedir(dir);
    if (first == 0 && unlinkat(parent, name, AT_REMOVEDIR) != 0)
        first = errno;
    return first;
}

}  // namespace

OpResult PosixPlatform::removeFolder(std::string_view path)
{
    const auto host = hostFolder(path);
    if (!host)
        return OpResult::failure(systemError(ENOENT));
    const int error = removeTreeAt(AT_FDCWD, host->c_str());
    return error == 0 ? OpResult::success() : OpResult::failure(systemError(error));
}

void PosixPlatform::removeLeftovers(std::string_view folderPath)
{
    const auto host = hostFolder(folderPath);
    if (!host)
        return;
    const int dirFd = folderCache().handles.open(*host, O_RDONLY | O_DIRECTORY);
    if (dirFd < 0)
        return;
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* d = m_calls.readdir(dir)) {
        if (!std::string_view(d->d_name).starts_with(kTemporaryPrefix))
            continue;
        struct stat st {};
        if (fstatat(dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        // A copy in hand changes its file all the time, or its status when it is given its time.
        const std::time_t touched = std::max(st.st_mtim.tv_sec, st.st_ctim.tv_sec);
        if (isLeftoverHere(d->d_name, now - touched))
            unlinkat(dirfd(dir), d->d_name, 0);
    }
    closedir(dir);
}

}  // namespace sarvoli::platform
