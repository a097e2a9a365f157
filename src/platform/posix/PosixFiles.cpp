#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/TemporaryName.h"

// Helpers shared by the parts of the POSIX platform: reasons, paths, temporary names, and the
// way copies reach each kind of file system.
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

const std::string& thisTemporaryHost()
{
    static const std::string host = [] {
        char name[256] = {};
        if (gethostname(name, sizeof name - 1) != 0)
            name[0] = 0;
        return temporaryHostOf(name);
    }();
    return host;
}

std::string temporaryName()
{
    static std::atomic<unsigned long> counter{0};
    return temporaryFileName(thisTemporaryHost(), static_cast<std::uint64_t>(getpid()), counter++);
}

Durability durabilityOf(long type)
{
    struct Kind {
        long type;
        Durability durability;
    };
    static constexpr Kind kKinds[] = {
        {TMPFS_MAGIC, Durability::Memory},
        {RAMFS_MAGIC, Durability::Memory},
        {MSDOS_SUPER_MAGIC, Durability::BatchByName},
        {0x2011BAB0, Durability::BatchByName},  // exFAT
        {0x5346544e, Durability::BatchByName},  // NTFS (ntfs3)
        {0x482b, Durability::BatchByName},      // HFS+
        {ISOFS_SUPER_MAGIC, Durability::BatchByName},
        {0x65735546, Durability::EachFile},  // FUSE: sshfs, rclone, NTFS-3G...
        {NFS_SUPER_MAGIC, Durability::EachFile},
        {0x517B, Durability::EachFile},      // SMB
        {0xFF534D42, Durability::EachFile},  // CIFS
        {0xFE534D42, Durability::EachFile},  // SMB2
        {0x01021997, Durability::EachFile},  // 9P
        {0x00c36400, Durability::EachFile},  // Ceph
        {0x5346414F, Durability::EachFile},  // AFS
        {0x73757245, Durability::EachFile},  // Coda
        {0, Durability::EachFile},           // a file system that cannot be told
    };
    for (const Kind& k : kKinds)
        if (k.type == type)
            return k.durability;
    return Durability::Batch;
}

}  // namespace sarvoli::platform
