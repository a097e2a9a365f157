#include "platform/posix/PosixFiles.h"
#include "platform/ReservedNames.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/OpResult.h"
#include "platform/TemporaryName.h"

// Helpers shared by the parts of the POSIX platform: reasons, paths, temporary names, and the
// way copies reach each kind of file system.
namespace sarvoli::platform {

std::string reasonOf(int error)
{
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);  // the GNU form: safe from any thread
}

namespace {

class PosixErrors : public std::error_category {
public:
    const char* name() const noexcept override { return "posix"; }
    std::string message(int code) const override { return reasonOf(code); }
    std::error_condition default_error_condition(int code) const noexcept override
    {
        // A quota that is used up leaves no room, as a full disk does.
        if (code == ENOSPC || code == EDQUOT)
            return std::errc::no_space_on_device;
        return {code, std::generic_category()};
    }
};

}  // namespace

const std::error_category& systemErrors()
{
    static const PosixErrors errors;
    return errors;
}

std::string parentOf(const std::string& hostPath)
{
    const std::size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : hostPath.substr(0, slash);
}

namespace {

// The first line of a file of /proc, or nothing.
std::string firstLineOf(const char* path)
{
    char buffer[512];
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    const ssize_t n = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (n <= 0)
        return {};
    std::string line(buffer, static_cast<std::size_t>(n));
    return line.substr(0, line.find('\n'));
}

// When a process started, in clock ticks since the boot (field 22 of /proc/PID/stat); 0 when it
// cannot be read.
std::uint64_t startOf(const std::string& pid)
{
    const std::string stat = firstLineOf(("/proc/" + pid + "/stat").c_str());
    // The name in parentheses may hold blanks and parentheses of its own: fields count after its end.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::size_t at = close + 1;
    for (int field = 2; field < 22 && at != std::string::npos; ++field)
        at = stat.find(' ', at + 1);
    if (at == std::string::npos)
        return 0;
    return std::strtoull(stat.c_str() + at + 1, nullptr, 10);
}

}  // namespace

const TemporaryOwner& thisTemporaryOwner()
{
    static const TemporaryOwner owner = [] {
        TemporaryOwner o;
        o.pid = static_cast<std::uint64_t>(getpid());
        o.started = startOf("self");
        // The boot's own id tells machines apart, two copies of one system image too; the
        // namespace's inode tells containers of one kernel apart.
        std::string boot;
        for (const char c : firstLineOf("/proc/sys/kernel/random/boot_id"))
            if (c != '-' && boot.size() < 16)
                boot += c;
        char ns[64] = {};
        const ssize_t n = readlink("/proc/self/ns/pid", ns, sizeof ns - 1);
        const std::string_view link(ns, n > 0 ? static_cast<std::size_t>(n) : 0);  // pid:[4026531836]
        const std::size_t open = link.find('['), close = link.find(']');
        if (boot.size() == 16 && o.started != 0 && open != std::string_view::npos && close > open + 1)
            o.machine = temporaryMachineOf(boot + "." + std::string(link.substr(open + 1, close - open - 1)));
        return o;
    }();
    return owner;
}

bool temporaryOwnerRuns(std::uint64_t pid, std::uint64_t started)
{
    if (pid == 0 || pid > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max()))
        return false;
    // Another user's process answers EPERM: it is there all the same.
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    // Its number may be another's by now; where the start cannot be read it may be the owner's.
    const std::uint64_t start = startOf(std::to_string(pid));
    return start == 0 || start == started;
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

bool refusesName(long type, std::string_view name)
{
    return (type == MSDOS_SUPER_MAGIC || type == 0x2011BAB0) && holdsReservedCharacter(name);  // FAT, exFAT
}

bool foldsCaseOf(long type)
{
    // FAT, exFAT, HFS+, and the shares of Windows and Samba (CIFS, SMB, SMB2).
    return type == MSDOS_SUPER_MAGIC || type == 0x2011BAB0 || type == 0x482b || type == 0x517B
           || type == static_cast<long>(0xFF534D42) || type == static_cast<long>(0xFE534D42);
}

bool triesOptionalCalls(long type)
{
    const DestinationClass c = classOf(type);
    return c != DestinationClass::Fuse && c != DestinationClass::Network;
}

}  // namespace sarvoli::platform
