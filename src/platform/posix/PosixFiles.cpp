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
    constexpr long kExfat = 0x2011BAB0;
    constexpr long kNtfs = 0x5346544e;
    constexpr long kHfsPlus = 0x482b;
    constexpr long kFuse = 0x65735546;
    constexpr long kNfs = 0x6969;
    constexpr long kSmb = 0x517B;
    constexpr long kCifs = 0xFF534D42;
    constexpr long kSmb2 = 0xFE534D42;
    constexpr long k9p = 0x01021997;
    constexpr long kCeph = 0x00c36400;
    constexpr long kAfs = 0x5346414F;
    constexpr long kCoda = 0x73757245;
    switch (type) {
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
        return Durability::Memory;
    case MSDOS_SUPER_MAGIC:
    case kExfat:
    case kNtfs:
    case kHfsPlus:
    case ISOFS_SUPER_MAGIC:
        return Durability::BatchByName;
    case kFuse:
    case kNfs:
    case kSmb:
    case kCifs:
    case kSmb2:
    case k9p:
    case kCeph:
    case kAfs:
    case kCoda:
    case 0:  // not known
        return Durability::EachFile;
    default:
        return Durability::Batch;
    }
}

}  // namespace sarvoli::platform
