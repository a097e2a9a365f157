#include "platform/posix/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include <QLocale>

#include "platform/posix/LocaleSettings.h"
#include "platform/posix/PosixFiles.h"
#include "platform/DriveType.h"
#include "text/WildcardMask.h"

namespace sarvoli::platform {

namespace {

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
    PosixDirSearch(PosixPlatform& platform, DIR* dir, std::string_view pattern, std::uint32_t mask, bool details,
                   std::int64_t utcOffset)
        : m_platform(platform), m_dir(dir), m_pattern(pattern), m_mask(mask), m_details(details),
          m_utcOffset(utcOffset)
    {
    }
    ~PosixDirSearch() override { closedir(m_dir); }

    bool next(DirEntry& entry) override
    {
        entry.error.clear();
        while (const dirent* d = m_platform.readEntry(m_dir, m_failure)) {
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            unsigned char type = d->d_type;
            int statError = 0;
            if (type == DT_UNKNOWN) {  // file systems that do not say: ask
                struct stat lst {};
                if (fstatat(dirfd(m_dir), name, &lst, AT_SYMLINK_NOFOLLOW) == 0)
                    type = S_ISDIR(lst.st_mode)   ? DT_DIR
                           : S_ISLNK(lst.st_mode) ? DT_LNK
                           : S_ISREG(lst.st_mode) ? DT_REG
                                                  : DT_UNKNOWN;
                else
                    statError = errno;
            }
            if (type == DT_DIR && name[0] != '.')
                m_subfolders.emplace_back(name);
            if (name[0] == '.' && !(m_mask & Hidden))
                continue;
            // An entry that cannot be examined may be a file or a folder of the backup: said,
            // whatever the pattern, never left out in silence. One gone since the listing is not.
            if (statError != 0) {
                if (statError == ENOENT)
                    continue;
                return failed(entry, name, statError);
            }
            if (!m_pattern.matches(name))
                continue;

            bool isDir = type == DT_DIR;
            const bool isLink = type == DT_LNK;
            const bool needStat = m_details || isLink;
            if (!needStat && type != DT_REG && !isDir)
                continue;  // pipes, sockets and devices hold no data to copy
            if (isDir && !(m_mask & Directory))
                continue;

            entry.name = name;
            struct stat st {};
            if (needStat) {
                if (fstatat(dirfd(m_dir), name, &st, 0) != 0) {
                    // A dangling link: report the link itself, whose copy will fail and say why.
                    const int error = errno;
                    const bool dangling = error == ENOENT && fstatat(dirfd(m_dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0
                                          && S_ISLNK(st.st_mode);
                    if (!dangling) {
                        if (error == ENOENT)
                            continue;
                        return failed(entry, name, error);
                    }
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

    std::vector<std::string> subfolders() override { return std::move(m_subfolders); }
    std::string failure() const override { return m_failure == 0 ? std::string() : reasonOf(m_failure); }

private:
    static bool failed(DirEntry& entry, const char* name, int error)
    {
        entry.name = name;
        entry.attributes = 0;
        entry.time = {};
        entry.size = 0;
        entry.error = reasonOf(error);
        return true;
    }

    PosixPlatform& m_platform;
    DIR* m_dir;
    int m_failure = 0;  // why the listing broke off
    text::WildcardMask m_pattern;
    std::uint32_t m_mask;
    bool m_details;
    std::int64_t m_utcOffset;
    std::vector<std::string> m_subfolders;
};

// Makes the folder, and its parents only where they are missing: most folders of a run have
// every parent already. 0 or an errno value.
int makeFolderWithParents(const std::string& folder, bool& created)
{
    created = false;
    bool parentCreated = false;
    if (mkdir(folder.c_str(), 0777) == 0) {
        created = true;
        return 0;
    }
    int error = errno;
    if (error == ENOENT) {
        const std::string parent = parentOf(folder);
        if (parent == folder)
            return error;
        if (const int parentError = makeFolderWithParents(parent, parentCreated); parentError != 0)
            return parentError;
        if (mkdir(folder.c_str(), 0777) == 0) {
            created = true;
            return 0;
        }
        error = errno;
    }
    struct stat st {};
    if (error == EEXIST && stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    return error;
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
    return std::make_unique<PosixDirSearch>(*this, dir, pattern, attributeMask, withDetails, utcOffset());
}

const dirent* PosixPlatform::readEntry(DIR* dir, int& error)
{
    // readdir() ends a listing and fails it alike; only errno tells them apart.
    errno = 0;
    const dirent* d = readdir(dir);
    if (!d)
        error = errno;
    return d;
}

FolderAccess PosixPlatform::folderAccess(std::string_view folderPath)
{
    FolderAccess access;
    const auto host = m_drives.hostPath(folderPath);
    DIR* dir = host ? opendir(host->c_str()) : nullptr;
    if (dir) {
        closedir(dir);
        return access;
    }
    const int error = host ? errno : ENOENT;
    access.missing = error == ENOENT || error == ENOTDIR;
    access.result = OpResult::failure(reasonOf(error));
    return access;
}

bool PosixPlatform::fileExists(std::string_view path) { return fileAge(path).exists; }

FileAge PosixPlatform::fileAge(std::string_view path)
{
    FileAge age;
    const auto host = m_drives.hostPath(path);
    if (!host)
        return age;
    const AtPath file = folderCache().handles.at(*host);
    struct stat st {};
    if (fstatat(file.dir, file.name.c_str(), &st, 0) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            age.result = OpResult::failure(reasonOf(errno));
        return age;
    }
    if (S_ISDIR(st.st_mode))
        return age;
    age.exists = true;
    age.time = text::FileTime::fromUtc(st.st_mtim.tv_sec, utcOffset());
    age.size = static_cast<std::int64_t>(st.st_size);
    return age;
}

bool PosixPlatform::statFolder(std::string_view path, struct stat& st)
{
    auto host = m_drives.hostPath(path);
    if (!host)
        return false;
    while (host->size() > 1 && host->back() == '/')
        host->pop_back();
    const AtPath folder = folderCache().handles.at(*host);
    return fstatat(folder.dir, folder.name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

bool PosixPlatform::directoryExists(std::string_view path)
{
    struct stat st {};
    return statFolder(path, st);
}

OpResult PosixPlatform::forceDirectories(std::string_view path, bool& created)
{
    created = false;
    const auto host = m_drives.hostPath(path);
    if (!host)
        return OpResult::failure(reasonOf(ENOENT));
    std::string folder = *host;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const int error = makeFolderWithParents(folder, created);
    return error == 0 ? OpResult::success() : OpResult::failure(reasonOf(error));
}

std::optional<FolderId> PosixPlatform::folderId(std::string_view path)
{
    struct stat st {};
    // During a run a folder asked about is mostly one the run works in next: its handle serves
    // the question and the calls that follow, without a second walk of its path.
    auto host = m_drives.hostPath(path);
    if (!host)
        return std::nullopt;
    while (host->size() > 1 && host->back() == '/')
        host->pop_back();
    if (const int held = folderCache().handles.folder(*host); held >= 0) {
        if (fstat(held, &st) != 0 || !S_ISDIR(st.st_mode))
            return std::nullopt;
    } else if (!statFolder(path, st)) {
        return std::nullopt;
    }
    return FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool PosixPlatform::setCurrentDirectory(std::string_view path)
{
    const auto host = m_drives.hostPath(path);
    return host && chdir(host->c_str()) == 0;
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
