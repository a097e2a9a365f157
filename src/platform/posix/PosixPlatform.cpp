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

std::string temporaryNameIn(const std::string& folder)
{
    static std::atomic<unsigned long> counter{0};
    return folder + "/.sarvoli3-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

// Picture of a Qt long time format without its time-zone letters.
std::string withoutTimeZone(const QString& qtFormat)
{
    QString f = qtFormat;
    f.remove(QLatin1Char('t'));
    return f.simplified().toStdString();
}

char firstSeparator(const std::string& picture, char fallback)
{
    for (char c : picture)
        if (!std::isalpha(static_cast<unsigned char>(c)) && c != '\'' && c != ' ')
            return c;
    return fallback;
}

}  // namespace

std::int64_t currentUtcOffsetSeconds()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_gmtoff;
}

PosixPlatform::PosixPlatform(DriveTable drives) : m_drives(std::move(drives)) {}

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
    std::string partial;
    std::size_t at = 0;
    const std::string& p = *host;
    while (at <= p.size()) {
        std::size_t slash = p.find('/', at);
        if (slash == std::string::npos)
            slash = p.size();
        partial = p.substr(0, slash);
        at = slash + 1;
        if (partial.empty() || partial.back() == '/')
            continue;
        if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return OpResult::failure(reasonOf(errno));
    }
    struct stat st {};
    if (stat(p.c_str(), &st) != 0)
        return OpResult::failure(reasonOf(errno));
    if (!S_ISDIR(st.st_mode))
        return OpResult::failure(reasonOf(ENOTDIR));
    return OpResult::success();
}

int PosixPlatform::copyData(int sourceFd, int destinationFd)
{
    bool kernelCopy = true;
    for (;;) {
        if (kernelCopy) {
            const ssize_t n = copy_file_range(sourceFd, nullptr, destinationFd, nullptr, 1 << 30, 0);
            if (n > 0)
                continue;
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

OpResult PosixPlatform::copyFile(std::string_view source, std::string_view destination)
{
    const auto from = m_drives.hostPath(source);
    const auto to = m_drives.hostPath(destination);
    if (!from || !to)
        return OpResult::failure(reasonOf(ENOENT));

    // Non-blocking, so that a pipe met in the tree cannot hang the run.
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
    fcntl(in.get(), F_SETFL, fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);

    struct stat target {};
    if (stat(to->c_str(), &target) == 0 && S_ISDIR(target.st_mode))
        return OpResult::failure(reasonOf(EISDIR));

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryNameIn(parentOf(*to));
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return OpResult::failure(reasonOf(errno));
    }
    if (fd < 0)
        return OpResult::failure(reasonOf(EEXIST));
    Fd out(fd);

    const auto fail = [&](int error) {
        out.reset();
        unlink(temporary.c_str());
        return OpResult::failure(reasonOf(error));
    };
    if (const int error = copyData(in.get(), out.get()); error != 0)
        return fail(error);
    // Permission bits without set-id bits: a copy must not grant more than its source.
    if (fchmod(out.get(), st.st_mode & 0777) != 0)
        return fail(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(out.get(), times) != 0)
        return fail(errno);
    if (const int error = out.close(); error != 0) {
        unlink(temporary.c_str());
        return OpResult::failure(reasonOf(error));
    }
    if (rename(temporary.c_str(), to->c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return OpResult::failure(reasonOf(error));
    }
    return OpResult::success();
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

text::RegionalSettings PosixPlatform::regionalSettings()
{
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        return text::RegionalSettings{"yyyy-MM-dd", "HH:mm:ss", '-', ':'};
    text::RegionalSettings s;
    s.shortDate = locale.dateFormat(QLocale::ShortFormat).toStdString();
    s.longTime = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    s.dateSeparator = firstSeparator(s.shortDate, '.');
    s.timeSeparator = firstSeparator(s.longTime, ':');
    return text::withFourDigitYear(s);
}

}  // namespace sarvoli::platform
