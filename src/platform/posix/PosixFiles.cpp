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

namespace {

struct Kind {
    long type;
    Durability durability;
    DestinationClass destination;
};

constexpr DestinationClass kMemory = DestinationClass::Memory;
constexpr DestinationClass kLocal = DestinationClass::LocalDisk;
constexpr DestinationClass kFuse = DestinationClass::Fuse;
constexpr DestinationClass kNetwork = DestinationClass::Network;

constexpr Kind kKinds[] = {
    {TMPFS_MAGIC, Durability::Memory, kMemory},
    {RAMFS_MAGIC, Durability::Memory, kMemory},
    {MSDOS_SUPER_MAGIC, Durability::BatchByName, kLocal},
    {0x2011BAB0, Durability::BatchByName, kLocal},  // exFAT
    {0x5346544e, Durability::BatchByName, kLocal},  // NTFS (ntfs3)
    {0x482b, Durability::BatchByName, kLocal},      // HFS+
    {ISOFS_SUPER_MAGIC, Durability::BatchByName, kLocal},
    {0x65735546, Durability::EachFile, kFuse},  // FUSE: sshfs, rclone, NTFS-3G...
    {NFS_SUPER_MAGIC, Durability::EachFile, kNetwork},
    {0x517B, Durability::EachFile, kNetwork},      // SMB
    {0xFF534D42, Durability::EachFile, kNetwork},  // CIFS
    {0xFE534D42, Durability::EachFile, kNetwork},  // SMB2
    {0x01021997, Durability::EachFile, kNetwork},  // 9P
    {0x00c36400, Durability::EachFile, kNetwork},  // Ceph
    {0x5346414F, Durability::EachFile, kNetwork},  // AFS
    {0x73757245, Durability::EachFile, kNetwork},  // Coda
    {0, Durability::EachFile, kLocal},             // a file system that cannot be told
};

// Every other type is a local disk flushed by batches (ext4, XFS, Btrfs...).
constexpr Kind kLocalDisk = {-1, Durability::Batch, kLocal};

const Kind& kindOf(long type)
{
    for (const Kind& k : kKinds)
        if (k.type == type)
            return k;
    return kLocalDisk;
}

}  // namespace

Durability durabilityOf(long type) { return kindOf(type).durability; }

DestinationClass classOf(long type) { return kindOf(type).destination; }

bool triesOptionalCalls(long type)
{
    const DestinationClass c = classOf(type);
    return c != DestinationClass::Fuse && c != DestinationClass::Network;
}

}  // namespace sarvoli::platform
