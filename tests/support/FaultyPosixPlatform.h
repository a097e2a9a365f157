#pragma once

#ifndef _WIN32

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/posix/PosixPlatform.h"

namespace sarvoli::testing {

// The faults of a device or file system that the POSIX platform meets only through its system
// calls: a copy cut off after its first bytes, a listing that breaks off, a copy that reads back
// changed, a file system of another type, one that refuses unnamed files or the kernel's copy, a
// flush that fails, a device that stops answering. None is on until a test sets it.
struct SystemCallFaults {
    int cutWith = 0;             // every copy of data fails with this errno after its first bytes...
    std::atomic<bool> cutNext{false};  // ...or only the next one, with EIO
    std::string brokenFolder;    // a host folder whose listing fails with EIO...
    int breaksAfter = 0;         // ...after this many entries ("." and ".." among them)
    std::string corruptCopy;     // a file (host path, or a folder's ending in '/') whose first byte
                                 // reads back changed, as a bad stick gives it
    std::optional<long> fileSystem;  // the statfs type of every folder, when set; 0: it cannot be told
    bool refusesOptionalCalls = false;  // neither unnamed files nor the kernel's copy
    bool refusesUnnamed = false;
    bool writesNothing = false;  // the kernel's copy refused, and each write takes no byte
    bool deviceFails = false;    // a file system's flush fails with EIO
    std::function<void()> afterFirstSync;
    std::string stallAt;         // a copy from a source whose path ends so waits in the middle of
    std::atomic<bool> stalled{false};  // its data until letStalledGoOn()
    std::atomic<int> unnamedAsked{0};
    std::atomic<int> kernelCopyAsked{0};
    std::atomic<int> fileSyncs{0};
    std::atomic<int> fileSystemSyncs{0};

    void letStalledGoOn();
    // The system's calls with these faults on top.
    platform::SystemCalls calls();
    // The host path of an open descriptor.
    static std::string pathOf(int fd);

private:
    // A copy of data from `in`, `copy` as the system makes it: cut, stalled or as it is.
    ssize_t copies(int in, std::size_t length, const std::function<ssize_t(std::size_t)>& copy);

    std::mutex m_lock;
    std::map<DIR*, int> m_entriesRead;
    std::condition_variable m_stallChanged;
    bool m_goOn = false;
};

// The POSIX platform on the test's drives, its system calls with the faults a test sets.
class FaultyPosixPlatform : public SystemCallFaults, public platform::PosixPlatform {
public:
    explicit FaultyPosixPlatform(platform::DriveTable drives) : PosixPlatform(std::move(drives), calls()) {}
};

}  // namespace sarvoli::testing

#endif
