#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>

#include "platform/DestinationClass.h"

// Helpers shared by the parts of the POSIX platform.
namespace sarvoli::platform {

// The system's text for an errno value.
std::string reasonOf(int error);

// The folder that holds a host path.
std::string parentOf(const std::string& hostPath);

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
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

// How a copy is put on its device, by the file system it is written to.
//   Memory       tmpfs, ramfs: a power cut takes every file; nothing to wait for.
//   Batch        local disks (ext4, XFS, Btrfs...): a new copy carries an older time until one
//                syncfs of the batch, then gets its final time, found again by its inode.
//   BatchByName  FAT, exFAT, NTFS through the kernel, HFS+, ISO: as Batch, but an inode's number
//                is not kept when it is dropped from memory, so the copy is found by name, size
//                and the older time.
//   EachFile     FUSE (sshfs, rclone, NTFS-3G), NFS, SMB/CIFS, 9P, Ceph, AFS, and any file
//                system that cannot be told: syncfs does nothing there or cannot be trusted, so
//                each copy is flushed by itself (fsync) with its final time before it is named.
// A copy that replaces an existing file is flushed by itself before the rename on every device
// but memory, so that the copy that was there stays whole until the new one is.
enum class Durability { Memory, Batch, BatchByName, EachFile };

// The durability of a file system by its statfs type.
Durability durabilityOf(long fileSystemType);
// The kind of device of a file system by its statfs type; a removable drive's local file
// system is told apart by its drive, not here.
DestinationClass classOf(long fileSystemType);
// Whether a file system of this type cannot hold a file of this name where others could (FAT's
// reserved characters), as its calls would refuse it.
bool refusesName(long fileSystemType, std::string_view name);
// Whether two names that differ only in case name one file on a file system of this type.
bool foldsCaseOf(long fileSystemType);
// Whether the calls that a file system may refuse as unsupported (an unnamed file, a copy by
// the kernel) are worth a try there: not where each call is a round trip and the answer is
// known to be no.
bool triesOptionalCalls(long fileSystemType);

}  // namespace sarvoli::platform
