#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/TemporaryName.h"
#include "platform/posix/FolderHandles.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixPlatform.h"

// Writing a whole file safely, and reading one: the settings file, and the way every copy is named.
namespace sarvoli::platform {

int PosixPlatform::writeNewFile(const std::string& target, unsigned mode, const std::function<int(int fd)>& fill,
                                const BeforeReplacing& beforeReplacing, std::optional<long> fileSystem,
                                std::string* waiting)
{
    const std::string folder = parentOf(target);
    // Names in the folder's handle where the run holds it. Below the guarded destination of a
    // run a folder that cannot be reached without a link is not written through.
    FolderHandles& handles = folderCache().handles;
    const int dir = handles.folder(folder);
    if (dir < 0 && holdingFolders() && handles.guarded(folder))
        return errno;
    const AtPath named = dir >= 0 ? AtPath{dir, target.substr(target.find_last_of('/') + 1)} : AtPath{AT_FDCWD, target};

    // An unnamed file that gets its name only when it is complete: a new file then costs a
    // single link, and a failure leaves nothing behind. A file system that has none is asked once.
    const bool tryUnnamed = !fileSystem || triesUnnamed(*fileSystem);
    const auto refused = [&] {
        if (fileSystem && holdingFolders()) {
            const std::lock_guard lock(m_runLock);
            m_unnamedRefused.push_back(*fileSystem);
        }
    };
    const int unnamed = tryUnnamed ? openUnnamed(folder, mode) : -1;
    if (unnamed >= 0) {
        Fd out(unnamed);
        if (const int error = fill(out.get()); error != 0)
            return error;
        const int error = publishUnnamed(out.get(), named, beforeReplacing, waiting);
        if (error == 0 || error == kWaits) {
            const int closed = out.close();
            return closed == 0 ? error : closed;
        }
        if (error != kCannotName)
            return error;
        refused();
    } else if (tryUnnamed) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
        refused();
    }

    // File systems without unnamed files: a named temporary file renamed over the target.
    const std::string prefix = dir >= 0 ? std::string() : folder + "/";
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = prefix + temporaryName();
        fd = openat(named.dir, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    static_cast<mode_t>(mode));
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    Fd out(fd);
    int error = fill(out.get());
    if (error == 0 && beforeReplacing)
        error = beforeReplacing(out.get(), named);
    const bool waits = error == kWaits && waiting;
    if (error == 0 || waits)
        error = out.close();
    if (error == 0 && waits) {
        *waiting = temporary.substr(temporary.find_last_of('/') + 1);
        return kWaits;
    }
    if (error == 0 && renameat(named.dir, temporary.c_str(), named.dir, named.name.c_str()) != 0)
        error = errno;
    if (error != 0) {
        out.reset();
        unlinkat(named.dir, temporary.c_str(), 0);
    }
    return error;
}

int PosixPlatform::openUnnamed(const std::string& folder, unsigned mode)
{
    const int dir = folderCache().handles.folder(folder);
    return m_calls.openUnnamed(dir >= 0 ? dir : AT_FDCWD, dir >= 0 ? "." : folder.c_str(),
                               O_TMPFILE | O_WRONLY | O_CLOEXEC, static_cast<mode_t>(mode));
}

bool PosixPlatform::triesUnnamed(long fileSystem)
{
    if (!triesOptionalCalls(fileSystem))
        return false;
    const std::lock_guard lock(m_runLock);
    return std::find(m_unnamedRefused.begin(), m_unnamedRefused.end(), fileSystem) == m_unnamedRefused.end();
}

int PosixPlatform::publishUnnamed(int fd, const AtPath& target, const BeforeReplacing& beforeReplacing,
                                  std::string* waiting)
{
    if (linkUnnamed(fd, target) == 0)
        return 0;
    if (errno != EEXIST)
        return errno == ENOENT && access("/proc/self/fd", X_OK) != 0 ? kCannotName : errno;
    bool waits = false;
    if (beforeReplacing) {
        const int error = beforeReplacing(fd, target);
        waits = error == kWaits && waiting;
        if (error != 0 && !waits)
            return error;
    }
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
        if (waits) {
            *waiting = temporary.name.substr(temporary.name.find_last_of('/') + 1);
            return kWaits;
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
            file.result = OpResult::failure(systemError(errno));
        return file;
    }
    struct stat st {};
    if (fstat(in.get(), &st) != 0)
        file.result = OpResult::failure(systemError(errno));
    else if (S_ISDIR(st.st_mode))
        file.result = OpResult::failure(systemError(EISDIR));
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
            file.result = OpResult::failure(systemError(errno));
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
        return OpResult::failure(systemError(ENOENT));
    std::string target = *host;
    unsigned mode = 0666 & ~m_umask;
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return OpResult::failure(systemError(EISDIR));
        // A file without write permission is read-only, and a read-only file is not written.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return OpResult::failure(systemError(EACCES));
        mode = st.st_mode & 0777;
        // Through a symbolic link the file it names is replaced, not the link.
        if (char* real = realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    } else if (errno != ENOENT) {
        return OpResult::failure(systemError(errno));
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
        return m_calls.fsync(out) == 0 ? 0 : errno;
    });
    return error == 0 ? OpResult::success() : OpResult::failure(systemError(error));
}

}  // namespace sarvoli::platform
