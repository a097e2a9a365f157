#include "platform/posix/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <QLocale>

#include "platform/posix/LocaleSettings.h"
#include "platform/DriveType.h"
#include "text/WildcardMask.h"

namespace sarvoli::platform {

namespace {

std::string reasonOf(int error) { return std::strerror(error); }

std::uint32_t attributesOf(const std::string& name, const struct stat& st)
{
    std::uint32_t a = 0;
    if (!name.empty() && name[0] == '.')
        a |= Hidden;
    if (S_ISDIR(st.st_mode))
        a |= Directory;
    else
        a |= Archive;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        a |= ReadOnly;
    return a;
}

class PosixDirSearch : public DirSearch {
public:
    PosixDirSearch(DIR* dir, std::string_view pattern, std::uint32_t mask, bool details,
                   std::int64_t utcOffset)
        : m_dir(dir), m_pattern(pattern), m_mask(mask), m_details(details),
          m_utcOffset(utcOffset)
    {
    }
    ~PosixDirSearch() override { closedir(m_dir); }

    bool next(DirEntry& entry) override
    {
        while (const dirent* d = readdir(m_dir)) {
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            if (name[0] == '.' && !(m_mask & Hidden))
                continue;
            if (!m_pattern.matches(name))
                continue;

            bool isDir = d->d_type == DT_DIR;
            bool isLink = d->d_type == DT_LNK;
            bool needStat = m_details || isLink || d->d_type == DT_UNKNOWN;
            if (!needStat && d->d_type != DT_REG && !isDir)
                continue;  // pipes, sockets and devices hold no data to copy
            if (isDir && !(m_mask & Directory))
                continue;

            entry.name = name;
            struct stat st {};
            if (needStat) {
                if (fstatat(dirfd(m_dir), name, &st, 0) != 0) {
                    // A dangling link: report the link itself, whose copy will fail and say why.
                    if (fstatat(dirfd(m_dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                        continue;
                }
                if (d->d_type == DT_UNKNOWN) {
                    struct stat lst {};
                    isLink = fstatat(dirfd(m_dir), name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
                }
                isDir = S_ISDIR(st.st_mode);
                if (!isDir && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
                    continue;
                if (isDir && !(m_mask & Directory))
                    continue;
                entry.attributes = attributesOf(entry.name, st);
                entry.time = text::FileTime::fromUtc(st.st_mtim.tv_sec, m_utcOffset);
                entry.size = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
            } else {
                entry.attributes = (name[0] == '.' ? Hidden : 0u) | (isDir ? Directory : Archive);
                entry.time = {};
                entry.size = 0;
            }
            if (isLink)
                entry.attributes |= ReparsePoint;
            return true;
        }
        return false;
    }

private:
    DIR* m_dir;
    text::WildcardMask m_pattern;
    std::uint32_t m_mask;
    bool m_details;
    std::int64_t m_utcOffset;
};

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Closes and reports the error of the close, which some file systems report late.
    int close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

std::string parentOf(const std::string& hostPath)
{
    const std::size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : hostPath.substr(0, slash);
}

// Makes the folder, and its parents only where they are missing: most folders of a run have
// every parent already. 0 or an errno value.
int makeFolderWithParents(const std::string& folder)
{
    if (mkdir(folder.c_str(), 0777) == 0)
        return 0;
    int error = errno;
    if (error == ENOENT) {
        const std::string parent = parentOf(folder);
        if (parent == folder)
            return error;
        if (const int parentError = makeFolderWithParents(parent); parentError != 0)
            return parentError;
        if (mkdir(folder.c_str(), 0777) == 0)
            return 0;
        error = errno;
    }
    struct stat st {};
    if (error == EEXIST && stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    return error;
}

std::string temporaryNameIn(const std::string& folder)
{
    static const std::string prefix = "/.sarvoli3-" + std::to_string(getpid()) + "-";
    static std::atomic<unsigned long> counter{0};
    return folder + prefix + std::to_string(counter++) + ".tmp";
}

}  // namespace

std::int64_t currentUtcOffsetSeconds()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_gmtoff;
}

PosixPlatform::PosixPlatform(DriveTable drives) : m_drives(std::move(drives))
{
    // There is no call that only reads the umask.
    const mode_t mask = umask(0);
    umask(mask);
    m_umask = mask;
}

std::int64_t PosixPlatform::utcOffset()
{
    // Read at most once a second: file times of one run all use the offset of its moment.
    const std::time_t now = std::time(nullptr);
    if (now != m_offsetReadAt) {
        m_offsetReadAt = now;
        m_utcOffset = currentUtcOffsetSeconds();
    }
    return m_utcOffset;
}

std::unique_ptr<DirSearch> PosixPlatform::findFirst(std::string_view folderPath, std::string_view pattern,
                                                    std::uint32_t attributeMask, bool withDetails)
{
    const auto host = m_drives.hostPath(folderPath);
    if (!host)
        return nullptr;
    DIR* dir = opendir(host->c_str());
    if (!dir)
        return nullptr;
    return std::make_unique<PosixDirSearch>(dir, pattern, attributeMask, withDetails, utcOffset());
}

bool PosixPlatform::fileExists(std::string_view path) { return fileAge(path).has_value(); }

std::optional<text::FileTime> PosixPlatform::fileAge(std::string_view path)
{
    const auto host = m_drives.hostPath(path);
    struct stat st {};
    if (!host || stat(host->c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    return text::FileTime::fromUtc(st.st_mtim.tv_sec, utcOffset());
}

bool PosixPlatform::directoryExists(std::string_view path)
{
    const auto host = m_drives.hostPath(path);
    struct stat st {};
    return host && stat(host->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

OpResult PosixPlatform::forceDirectories(std::string_view path)
{
    const auto host = m_drives.hostPath(path);
    if (!host)
        return OpResult::failure(reasonOf(ENOENT));
    std::string folder = *host;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const int error = makeFolderWithParents(folder);
    return error == 0 ? OpResult::success() : OpResult::failure(reasonOf(error));
}

int PosixPlatform::copyData(int sourceFd, int destinationFd, std::int64_t size)
{
    bool kernelCopy = true;
    std::int64_t copied = 0;
    for (;;) {
        if (kernelCopy) {
            // Stop at the size the file had when opened, which saves the call that finds the
            // end; files that report no size (as some system files do) are read to their end.
            if (size > 0 && copied >= size)
                return 0;
            const ssize_t n = copy_file_range(sourceFd, nullptr, destinationFd, nullptr, 1 << 30, 0);
            if (n > 0) {
                copied += n;
                continue;
            }
            if (n == 0)
                return 0;
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
                kernelCopy = false;  // the offsets stand where the kernel stopped; go on by hand
                continue;
            }
            return errno;
        }
        char buffer[128 * 1024];
        const ssize_t n = read(sourceFd, buffer, sizeof buffer);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(destinationFd, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += w;
        }
    }
}

int PosixPlatform::fillCopy(int in, int out, const struct stat& source)
{
    if (const int error = copyData(in, out, static_cast<std::int64_t>(source.st_size)); error != 0)
        return error;
    // The file was created with the source's permission bits; put back what the umask took.
    // File systems that cannot hold the bits (a FAT memory stick) refuse; the data matters more.
    if ((source.st_mode & 0777 & m_umask) != 0 && fchmod(out, source.st_mode & 0777) != 0
        && errno != EPERM && errno != EOPNOTSUPP)
        return errno;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    return futimens(out, times) == 0 ? 0 : errno;
}

OpResult PosixPlatform::copyFile(std::string_view source, std::string_view destination)
{
    const auto from = m_drives.hostPath(source);
    const auto to = m_drives.hostPath(destination);
    if (!from || !to)
        return OpResult::failure(reasonOf(ENOENT));

    // Non-blocking, so that a pipe met in the tree cannot hang the run; for a regular file
    // the flag changes nothing.
    Fd in(open(from->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0)
        return OpResult::failure(reasonOf(errno));
    struct stat st {};
    if (fstat(in.get(), &st) != 0)
        return OpResult::failure(reasonOf(errno));
    if (S_ISDIR(st.st_mode))
        return OpResult::failure(reasonOf(EISDIR));
    if (!S_ISREG(st.st_mode))
        return OpResult::failure(reasonOf(EINVAL));

    // Permission bits without set-id bits: a copy must not grant more than its source.
    const mode_t mode = st.st_mode & 0777;
    const std::string folder = parentOf(*to);

    // An unnamed file that gets its name only when it is complete: a new copy then costs a
    // single link, and a failure leaves nothing behind.
    const int unnamed = openUnnamed(folder, mode);
    if (unnamed >= 0) {
        Fd out(unnamed);
        if (const int error = fillCopy(in.get(), out.get(), st); error != 0)
            return OpResult::failure(reasonOf(error));
        const int error = publishUnnamed(out.get(), *to, folder);
        if (error == 0) {
            const int closeError = out.close();
            return closeError == 0 ? OpResult::success() : OpResult::failure(reasonOf(closeError));
        }
        if (error != kCannotName)
            return OpResult::failure(reasonOf(error));
        if (lseek(in.get(), 0, SEEK_SET) < 0)
            return OpResult::failure(reasonOf(errno));
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return OpResult::failure(reasonOf(errno));
    }

    // File systems without unnamed files: a named temporary file renamed over the target.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryNameIn(folder);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            return OpResult::failure(reasonOf(errno));
    }
    if (fd < 0)
        return OpResult::failure(reasonOf(EEXIST));
    Fd out(fd);
    int error = fillCopy(in.get(), out.get(), st);
    if (error == 0)
        error = out.close();
    if (error == 0 && rename(temporary.c_str(), to->c_str()) != 0)
        error = errno;
    if (error != 0) {
        out.reset();
        unlink(temporary.c_str());
        return OpResult::failure(reasonOf(error));
    }
    return OpResult::success();
}

int PosixPlatform::openUnnamed(const std::string& folder, unsigned mode)
{
    return open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, static_cast<mode_t>(mode));
}

int PosixPlatform::publishUnnamed(int fd, const std::string& target, const std::string& folder)
{
    if (linkUnnamed(fd, target) == 0)
        return 0;
    if (errno != EEXIST)
        return errno == ENOENT && access("/proc/self/fd", X_OK) != 0 ? kCannotName : errno;
    // The target exists: name the copy beside it and rename it over the target, so that the
    // old copy stays whole until the new one is.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporaryNameIn(folder);
        if (linkUnnamed(fd, temporary) != 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        if (rename(temporary.c_str(), target.c_str()) != 0) {
            const int error = errno;
            unlink(temporary.c_str());
            return error;
        }
        return 0;
    }
    return EEXIST;
}

int PosixPlatform::linkUnnamed(int fd, const std::string& name)
{
    if (linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM)
        return -1;
    // Without the right to link by descriptor, link through its name in /proc.
    const std::string byName = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, byName.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
}

std::optional<FolderId> PosixPlatform::folderId(std::string_view path)
{
    const auto host = m_drives.hostPath(path);
    struct stat st {};
    if (!host || stat(host->c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

int PosixPlatform::driveType(std::string_view rootPath)
{
    if (rootPath.size() != 3 || rootPath[1] != ':' || rootPath[2] != '\\')
        return DriveNoRootDir;
    const Drive* drive = m_drives.find(rootPath[0]);
    return drive ? drive->type : DriveNoRootDir;
}

std::int64_t PosixPlatform::diskSize(int driveNumber)
{
    if (driveNumber < 1 || driveNumber > 26)
        return -1;
    const Drive* drive = m_drives.find(static_cast<char>('A' + driveNumber - 1));
    if (!drive || !drive->hasMedium)
        return -1;
    struct statvfs vfs {};
    if (statvfs(drive->hostRoot.c_str(), &vfs) != 0)
        return -1;
    return static_cast<std::int64_t>(vfs.f_blocks) * static_cast<std::int64_t>(vfs.f_frsize);
}

unsigned PosixPlatform::setErrorMode(unsigned mode)
{
    // Nothing on this host shows a dialog of its own; the mode is kept so that the save and
    // restore of the callers behave as they do on Windows.
    const unsigned previous = m_errorMode;
    m_errorMode = mode;
    return previous;
}

text::DateTimeValue PosixPlatform::localNow()
{
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    return text::dateTimeFromLocalSeconds(static_cast<std::int64_t>(ts.tv_sec) + local.tm_gmtoff,
                                          static_cast<int>(ts.tv_nsec / 1'000'000));
}

std::int64_t PosixPlatform::monotonicNanos()
{
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

text::RegionalSettings PosixPlatform::regionalSettings() { return regionalSettingsOf(QLocale::system()); }

}  // namespace sarvoli::platform
