#include "platform/posix/PosixPlatform.h"
#include "platform/ReservedNames.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

#include <QLocale>
#include <QString>

#include "platform/posix/LocaleSettings.h"
#include "platform/posix/FolderHandles.h"
#include "platform/posix/PosixFiles.h"
#include "platform/DriveType.h"

namespace sarvoli::platform {

namespace {

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

PosixPlatform::PosixPlatform(DriveTable drives, SystemCalls calls) : m_drives(std::move(drives)), m_calls(std::move(calls))
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
    if (now != m_offsetReadAt.load(std::memory_order_relaxed)) {
        m_utcOffset.store(currentUtcOffsetSeconds(), std::memory_order_relaxed);
        m_offsetReadAt.store(now, std::memory_order_relaxed);
    }
    return m_utcOffset.load(std::memory_order_relaxed);
}

bool PosixPlatform::fileExists(std::string_view path) { return fileAge(path).exists; }

namespace {

// The age of a file named in a folder's handle (or by its whole path, with AT_FDCWD).
FileAge ageAt(int dir, const char* name, std::int64_t utcOffset)
{
    FileAge age;
    struct stat st {};
    if (fstatat(dir, name, &st, 0) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            age.result = OpResult::failure(systemError(errno));
        return age;
    }
    if (S_ISDIR(st.st_mode))
        return age;
    age.exists = true;
    age.time = text::FileTime::fromUtc(st.st_mtim.tv_sec, utcOffset);
    age.size = static_cast<std::int64_t>(st.st_size);
    return age;
}

// The age of a file whose folder could not be reached: not there, or not to be told.
FileAge unreachedAge(int error)
{
    FileAge age;
    if (error != ENOENT && error != ENOTDIR)
        age.result = OpResult::failure(systemError(error));
    return age;
}

}  // namespace

std::vector<FileAge> PosixPlatform::fileAges(std::string_view folderPath, const std::vector<std::string_view>& names)
{
    // The folder is mapped and found once, not once a name: held by the run, or opened here.
    const auto host = hostFolder(folderPath);
    if (!host)
        return agesOneByOne(*this, folderPath, names);
    FolderHandles& handles = folderCache().handles;
    int dir = handles.folder(*host);
    // Below the destination root a folder reached through a link holds no copy of ours.
    if (dir < 0 && holdingFolders() && handles.guarded(*host))
        return std::vector<FileAge>(names.size(), unreachedAge(errno));
    const Fd opened(dir < 0 ? open(host->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC) : -1);
    if (dir < 0)
        dir = opened.get();
    if (dir < 0)
        return agesOneByOne(*this, folderPath, names);
    std::vector<FileAge> ages;
    ages.reserve(names.size());
    const std::int64_t offset = utcOffset();
    for (std::string_view name : names)
        ages.push_back(ageAt(dir, std::string(name).c_str(), offset));
    return ages;
}

FileAge PosixPlatform::fileAge(std::string_view path)
{
    const auto host = m_drives.hostPath(path);
    if (!host)
        return {};
    const AtPath file = folderCache().handles.at(*host);
    if (file.error != 0)
        return unreachedAge(file.error);
    return ageAt(file.dir, file.name.c_str(), utcOffset());
}

std::optional<std::string> PosixPlatform::hostFolder(std::string_view path)
{
    auto host = m_drives.hostPath(path);
    if (host)
        while (host->size() > 1 && host->back() == '/')
            host->pop_back();
    return host;
}

bool PosixPlatform::statFolder(const std::string& hostFolder, struct stat& st, bool following)
{
    FolderHandles& handles = folderCache().handles;
    const AtPath folder = following ? handles.atFollowing(hostFolder) : handles.at(hostFolder);
    if (folder.error != 0)
        return false;
    const int flags = !following && handles.guarded(hostFolder) ? AT_SYMLINK_NOFOLLOW : 0;
    return fstatat(folder.dir, folder.name.c_str(), &st, flags) == 0 && S_ISDIR(st.st_mode);
}

bool PosixPlatform::directoryExists(std::string_view path)
{
    struct stat st {};
    const auto host = hostFolder(path);
    return host && statFolder(*host, st, false);
}

FolderPlace PosixPlatform::folderPlace(std::string_view path)
{
    FolderPlace place;
    const auto host = hostFolder(path);
    if (!host)
        return place;
    FolderHandles& handles = folderCache().handles;
    struct stat st {};
    // Below the destination root of a run the folder's own handle, reached without a link, tells
    // what is there and serves the calls about its files that follow.
    if (holdingFolders() && handles.guarded(*host)) {
        const int dir = handles.folder(*host);
        const int error = dir < 0 ? errno : fstat(dir, &st) == 0 ? 0 : errno;
        if (error == 0)
            place = {FolderPlace::Folder, FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}, {}};
        else if (error == ELOOP)
            place.kind = FolderPlace::Link;
        else if (error == ENOTDIR)
            place.kind = FolderPlace::Other;
        else if (error != ENOENT)
            place.result = OpResult::failure(systemError(error));
        return place;
    }
    const AtPath at = handles.at(*host);
    const int error = at.error != 0 ? at.error : fstatat(at.dir, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    if (error == ELOOP)  // a folder on the way is a link: so is the way to this one
        place.kind = FolderPlace::Link;
    else if (error != 0 && error != ENOENT && error != ENOTDIR)
        place.result = OpResult::failure(systemError(error));
    else if (error == 0 && S_ISLNK(st.st_mode))
        place.kind = FolderPlace::Link;
    else if (error == 0 && S_ISDIR(st.st_mode))
        place = {FolderPlace::Folder, FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}, {}};
    else if (error == 0)
        place.kind = FolderPlace::Other;
    return place;
}

namespace {

// Makes a folder below the guarded folder of a run, and its missing parents, each in the handle
// of its parent, so that none is made through a link. 0 or an errno value.
int makeGuardedFolder(const std::string& folder, bool& created)
{
    FolderHandles& handles = folderCache().handles;
    created = false;
    if (!handles.guarded(folder))
        return makeFolderWithParents(folder, created);
    const std::string parent = parentOf(folder);
    const std::string name = folder.substr(folder.find_last_of('/') + 1);
    int dir = handles.folder(parent);
    if (dir < 0 && errno == ENOENT) {
        bool parentCreated = false;
        if (const int error = makeGuardedFolder(parent, parentCreated); error != 0)
            return error;
        dir = handles.folder(parent);
    }
    if (dir < 0)
        return errno;
    if (mkdirat(dir, name.c_str(), 0777) == 0) {
        created = true;
        return 0;
    }
    if (errno != EEXIST)
        return errno;
    struct stat st {};
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
}

}  // namespace

OpResult PosixPlatform::forceDirectories(std::string_view path, bool& created)
{
    created = false;
    const auto host = hostFolder(path);
    if (!host)
        return OpResult::failure(systemError(ENOENT));
    const int error = holdingFolders() ? makeGuardedFolder(*host, created) : makeFolderWithParents(*host, created);
    return error == 0 ? OpResult::success() : OpResult::failure(systemError(error));
}

std::optional<FolderId> PosixPlatform::folderId(std::string_view path)
{
    struct stat st {};
    // During a run a folder asked about is mostly one the run works in next: its handle serves
    // the question and the calls that follow, without a second walk of its path. The identity
    // is of what a path names, links and all (the source root may be one).
    const auto host = hostFolder(path);
    if (!host)
        return std::nullopt;
    if (const int held = folderCache().handles.folder(*host, true); held >= 0) {
        // A folder removed since it was opened is no longer there, though its handle is.
        if (fstat(held, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_nlink == 0)
            return std::nullopt;
    } else if (!statFolder(*host, st, true)) {
        return std::nullopt;
    }
    return FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::int64_t PosixPlatform::openFileLimit()
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1 << 20;
    return static_cast<std::int64_t>(limit.rlim_cur);
}

bool PosixPlatform::setCurrentDirectory(std::string_view path)
{
    const auto host = m_drives.hostPath(path);
    return host && chdir(host->c_str()) == 0;
}

std::optional<long> PosixPlatform::fileSystemTypeFor(std::string_view folderPath)
{
    const auto host = hostFolder(folderPath);
    if (!host)
        return std::nullopt;
    // A destination not made yet will be made on the file system of its nearest parent.
    std::string folder = *host;
    struct stat st {};
    while (stat(folder.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR) && folder != parentOf(folder))
        folder = parentOf(folder);
    return fileSystemType(folder);
}

bool PosixPlatform::foldsCase(std::string_view folderPath)
{
    const std::optional<long> type = fileSystemTypeFor(folderPath);
    return type && foldsCaseOf(*type);
}

std::string PosixPlatform::foldedName(std::string_view name)
{
    if (std::optional<std::string> ascii = foldedAscii(name))
        return std::move(*ascii);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toUpper().toStdString();
}

DestinationClass PosixPlatform::destinationClass(std::string_view folderPath)
{
    const std::optional<long> type = fileSystemTypeFor(folderPath);
    if (!type)
        return DestinationClass::LocalDisk;
    const DestinationClass c = classOf(*type);
    const Drive* drive = folderPath.size() >= 2 && folderPath[1] == ':' ? m_drives.find(folderPath[0]) : nullptr;
    if (c == DestinationClass::LocalDisk && drive && drive->type == DriveRemovable)
        return DestinationClass::Removable;
    return c;
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

std::string PosixPlatform::executablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return m_drives.pathText(std::string(buffer, static_cast<std::size_t>(n))).value_or(std::string());
}

}  // namespace sarvoli::platform
