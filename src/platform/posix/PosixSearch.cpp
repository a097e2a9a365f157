#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixPlatform.h"
#include "text/WildcardMask.h"

// The directory search: a folder's entries as the Windows search returns them.
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
    PosixDirSearch(const SystemCalls& calls, DIR* dir, std::string_view pattern, std::uint32_t mask, bool details,
                   std::int64_t utcOffset)
        : m_calls(calls), m_dir(dir), m_pattern(pattern), m_mask(mask), m_details(details),
          m_utcOffset(utcOffset)
    {
    }
    ~PosixDirSearch() override { closedir(m_dir); }

    bool next(DirEntry& entry) override
    {
        entry.error = {};
        while (const dirent* d = readEntry()) {
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
            if (type == DT_DIR)
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

    std::vector<std::string> subfolders(bool hidden) override
    {
        if (!hidden)
            std::erase_if(m_subfolders, [](const std::string& name) { return name[0] == '.'; });
        return std::move(m_subfolders);
    }
    std::error_code failure() const override { return m_failure == 0 ? std::error_code() : systemError(m_failure); }

private:
    static bool failed(DirEntry& entry, const char* name, int error)
    {
        entry.name = name;
        entry.attributes = 0;
        entry.time = {};
        entry.size = 0;
        entry.error = OpResult::failure(systemError(error));
        return true;
    }

    // The next entry of the listing; null at its end, or with m_failure set when it broke off.
    const dirent* readEntry()
    {
        // readdir() ends a listing and fails it alike; only errno tells them apart.
        errno = 0;
        const dirent* d = m_calls.readdir(m_dir);
        if (!d)
            m_failure = errno;
        return d;
    }

    const SystemCalls& m_calls;
    DIR* m_dir;
    int m_failure = 0;  // why the listing broke off
    text::WildcardMask m_pattern;
    std::uint32_t m_mask;
    bool m_details;
    std::int64_t m_utcOffset;
    std::vector<std::string> m_subfolders;
};

}  // namespace

namespace {

// Why a folder could not be opened for listing.
FolderAccess accessFailure(int error)
{
    FolderAccess access;
    access.missing = error == ENOENT || error == ENOTDIR;
    access.result = OpResult::failure(systemError(error));
    return access;
}

}  // namespace

FolderSearch PosixPlatform::findFirst(std::string_view folderPath, std::string_view pattern,
                                      std::uint32_t attributeMask, bool withDetails)
{
    const auto host = m_drives.hostPath(folderPath);
    if (!host)
        return {nullptr, accessFailure(ENOENT)};
    DIR* dir = opendir(host->c_str());
    if (!dir)
        return {nullptr, accessFailure(errno)};
    return {std::make_unique<PosixDirSearch>(m_calls, dir, pattern, attributeMask, withDetails, utcOffset()), {}};
}

FolderAccess PosixPlatform::folderAccess(std::string_view folderPath)
{
    return findFirst(folderPath, "*", 0, false).access;
}

}  // namespace sarvoli::platform
