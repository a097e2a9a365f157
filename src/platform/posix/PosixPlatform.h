#pragma once

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <optional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/DriveTable.h"
#include "platform/Platform.h"
#include "platform/posix/FolderHandles.h"
#include "platform/posix/SystemCalls.h"

namespace sarvoli::platform {

// The platform on a POSIX host: path texts are mapped to host paths through a drive table.
// A name that begins with "." is hidden, a file without write permission is read-only,
// every regular file has the archive attribute, and a symbolic link is a reparse point.
class PosixPlatform : public Platform {
public:
    explicit PosixPlatform(DriveTable drives = DriveTable::standard(), SystemCalls calls = {});

    FolderSearch findFirst(std::string_view folderPath, std::string_view pattern, std::uint32_t attributeMask,
                           bool withDetails) override;
    void holdFolders(bool hold) override;
    void guardBelow(std::string_view root) override;
    FolderAccess folderAccess(std::string_view folderPath) override;
    bool fileExists(std::string_view path) override;
    FileAge fileAge(std::string_view path) override;
    std::vector<FileAge> fileAges(std::string_view folderPath, const std::vector<std::string_view>& names) override;
    bool directoryExists(std::string_view path) override;
    FolderPlace folderPlace(std::string_view path) override;
    OpResult forceDirectories(std::string_view path, bool& created) override;
    OpResult copyFile(std::string_view source, std::string_view destination, const CopyDecision& decision) override;
    FinishResult finishCopies() override;
    void removeLeftovers(std::string_view folderPath) override;
    OpResult removeFolder(std::string_view path) override;
    Verification verifyCopy(std::string_view source, std::string_view copy) override;
    OpResult previewCopy(std::string_view source, std::string_view destination) override;
    std::optional<FolderId> folderId(std::string_view path) override;
    FileContent readFile(std::string_view path) override;
    OpResult replaceFile(std::string_view path, std::string_view content) override;
    std::string executablePath() override;
    bool setCurrentDirectory(std::string_view path) override;
    std::optional<std::string> systemPath(std::string_view pathText) override { return m_drives.hostPath(pathText); }
    std::optional<std::string> pathTextOf(std::string_view hostPath) override { return m_drives.pathText(hostPath); }

    std::int64_t openFileLimit() override;
    std::uint64_t answers() override { return m_answers.load(std::memory_order_relaxed); }
    DestinationClass destinationClass(std::string_view folderPath) override;
    // A name is refused by the copy itself, where its file system cannot hold it.
    std::string refusedName(std::string_view /*name*/) override { return {}; }
    bool foldsCase(std::string_view folderPath) override;
    std::string foldedName(std::string_view name) override;
    int driveType(std::string_view rootPath) override;
    std::int64_t diskSize(int driveNumber) override;
    unsigned setErrorMode(unsigned mode) override;

    text::DateTimeValue localNow() override;
    std::int64_t monotonicNanos() override;
    text::RegionalSettings regionalSettings() override;

private:
    // Copies the open source, of `size` bytes when opened, into the open destination; 0 or
    // an errno value.
    int copyData(int sourceFd, int destinationFd, std::int64_t size);
    // Opens an unnamed file in the folder for writing; -1 with errno set where the file
    // system has none.
    int openUnnamed(const std::string& folder, unsigned mode);
    // Copies data by the kernel, as copy_file_range() does.
    ssize_t kernelCopy(int in, off_t* inPosition, int out, off_t* outPosition, std::size_t length);
    // Puts what is written on the file system of `fd` on its device; 0 or an errno value.
    int syncFileSystem(int fd);
    // Reads up to `size` bytes of a copy at `offset`, as pread() does.
    ssize_t readCopy(int fd, char* buffer, std::size_t size, off_t offset);
    // Puts the data of the open file `fd` on its device; 0 or an errno value.
    int syncFile(int fd);
    // The statfs type of the file system that holds a host folder; 0 when it cannot be told.
    long fileSystemType(const std::string& hostFolder);
    // The type of the file system that holds a folder, or would hold it once made.
    std::optional<long> fileSystemTypeFor(std::string_view folderPath);

public:
    // The outcome of one device's flush.
    struct DeviceSync {
        dev_t device;
        int error;
    };

private:
    // Marks a file system where an unnamed file cannot be given a name.
    static constexpr int kCannotName = -1;
    // Marks a copy given up because the file at its target is no longer older than its source.
    static constexpr int kUnneeded = -2;
    // Marks a replacement named beside its target, to take the target's place with its batch.
    static constexpr int kWaits = -3;
    // 1980-01-02 00:00:00 UTC: an older source leaves no room for an older provisional time on
    // every file system (FAT holds nothing before 1980), so its copy is flushed before it is named.
    static constexpr std::int64_t kEarliestProvisional = 315'619'200;

    // A copy made since the last finishCopies(): its name must reach the device, and a copy that
    // carries its provisional time gets its final one.
    struct PendingCopy {
        std::string name;
        std::string pathText;  // as the caller named it, to say which copies were lost
        ino_t inode;           // the copy as written: a file put in its place since is not it
        struct timespec written;
        off_t size;
        struct timespec times[2];  // the final times
        bool stamp;                // still carries its provisional time
        // A replacement that waits for its batch under this temporary name beside its target,
        // and what it was decided on, asked again of the file there before it takes its place.
        std::string waiting;
        CopyRule rule = nullptr;
        off_t sourceSize = 0;
        std::string keepAs;  // host path where the file there goes before this one takes its place
    };
    struct PendingFolder {
        std::string folder;  // host path
        dev_t device;
        bool byName;  // inode numbers are not kept there
        std::vector<PendingCopy> copies;
    };

    std::int64_t utcOffset();
    // The host path of a folder named by a path text, without a trailing slash.
    std::optional<std::string> hostFolder(std::string_view path);
    // Fills `st` for a folder named by its host path; false when it names no folder. Below the
    // guarded folder of a run a link is no folder, unless `following`.
    bool statFolder(const std::string& hostFolder, struct stat& st, bool following);
    // Called on the complete new file of writeNewFile() before it takes a name where a file may
    // stand, with where that name is; 0 to go on, kUnneeded or an errno value to give it up,
    // kWaits to leave it beside the target under a temporary name.
    using BeforeReplacing = std::function<int(int fd, const AtPath& target)>;
    // Writes a new file through `fill` and gives it the name `target`, replacing what is there
    // only when the new file is complete; nothing is left behind on failure. `fill` may be
    // called a second time, on a new file. 0, kUnneeded, an errno value, or kWaits with the
    // temporary name in the target's folder in `waiting`.
    // `fileSystem`: the statfs type of the target's folder, where it is known.
    int writeNewFile(const std::string& target, unsigned mode, const std::function<int(int fd)>& fill,
                     const BeforeReplacing& beforeReplacing = {}, std::optional<long> fileSystem = {},
                     std::string* waiting = nullptr);
    // Copies `length` bytes from `offset` of one file to the same place of the other, or up to the
    // source's end where that comes first: by the kernel where it may, by hand where it cannot.
    int copyRange(int in, int out, off_t offset, off_t length);
    // Copies only the parts of a sparse file that hold data, so that its holes stay holes.
    int copySparse(int in, int out, off_t size);
    // Fills the open copy from the source: data, permission bits, the given times. 0 or an errno value.
    int fillCopy(int in, int out, const struct stat& source, const struct timespec times[2]);
    // The statfs type of the file system of a host folder that a run copies into.
    long fileSystemAt(const std::string& hostFolder);
    // Whether an unnamed file is worth a try on a file system: not where the run learnt that
    // it has none, nor where each call is a round trip to a file system known to have none.
    bool triesUnnamed(long fileSystem);
    // Whether the kernel may copy from the device `source` to a file system of this type.
    bool triesKernelCopy(dev_t source, long fileSystem);
    // Remembers a copy, `name` in the host folder `folder`, that waits for finishCopies().
    void addPending(const std::string& folder, PendingCopy copy, dev_t device, bool byName);
    // Whether a copy of a source last written at `sourceSeconds`, of `sourceSize` bytes, may take
    // the place of what is at `name` in `dir` now, asked as the walk asked it (through a link
    // there): 0 where nothing is there or a file still older by `rule`, kUnneeded where that file
    // is no longer older, EISDIR for a folder, or an errno value. `there`: what is there, zeroed
    // where nothing is.
    static int targetAllows(int dir, const char* name, time_t sourceSeconds, off_t sourceSize, CopyRule rule,
                            std::int64_t utcOffset, struct stat& there);
    // Puts the replacement `copy`, waiting in the folder `dir`, in its target's place, unless the
    // file there is no longer older by its rule (kUnneeded) or cannot be replaced (an errno
    // value); what is not put there is removed.
    // `kept`: the file there was moved aside to copy.keepAs.
    static int replaceWith(int dir, const PendingCopy& copy, bool byName, std::int64_t utcOffset, bool& kept);
    // Moves the file at `target` to the host path `keepAs`, never over a file there; 0 or an errno value.
    static int keepAside(const AtPath& target, const std::string& keepAs);
    // Puts a file moved aside back at `target`, where nothing has taken its place.
    static void putBack(const AtPath& target, const std::string& keepAs);
    // Puts each file system of the pending copies (those of `only`, when it names any) on its
    // device; the outcome of each.
    std::vector<DeviceSync> syncPending(const std::vector<dev_t>& only);
    // Gives the complete unnamed file `fd` the name `target`, replacing what is there, or the
    // temporary name beside it put in `waiting` where `beforeReplacing` says kWaits.
    static int publishUnnamed(int fd, const AtPath& target, const BeforeReplacing& beforeReplacing,
                              std::string* waiting);
    // Links the unnamed file `fd` under `name`; -1 with errno set on failure.
    static int linkUnnamed(int fd, const AtPath& name);

    DriveTable m_drives;
    const SystemCalls m_calls;
    unsigned m_errorMode = 0;
    unsigned m_umask = 0;
    // Read from several threads: a pair torn by a race is an offset of a second before, as good.
    std::atomic<std::int64_t> m_offsetReadAt{-1};
    std::atomic<std::int64_t> m_utcOffset{0};
    std::atomic<std::uint64_t> m_answers{0};  // pieces of data written, files and devices flushed
    std::mutex m_pendingLock;  // copies are made on several threads at once
    std::vector<PendingFolder> m_pending;
    // What a file system refused as unsupported during this run, so that it is asked once, and
    // the file system of each folder copied into (statfs is a round trip on a network).
    std::mutex m_runLock;
    std::unordered_map<std::string, long> m_fileSystems;
    std::vector<long> m_unnamedRefused;                          // file-system types
    std::vector<std::pair<dev_t, long>> m_kernelCopyRefused;     // source device, target type
};

// The UTC offset in force now, in seconds east of UTC.
std::int64_t currentUtcOffsetSeconds();

}  // namespace sarvoli::platform
