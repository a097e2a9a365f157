#pragma once

#include <atomic>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <dirent.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RecordingHost.h"
#include "TempDir.h"
#include "DrivesPlatform.h"
#include "copy/CopyWalk.h"
#include "FaultyPosixPlatform.h"

// The walk on the system's platform, with the faults a test asks for.
namespace sarvoli::testing {

using namespace sarvoli::copy;
using namespace sarvoli::platform;


// A full disk in the system's own code.
#ifdef _WIN32
constexpr int kDiskFull = 112;  // ERROR_DISK_FULL
#else
constexpr int kDiskFull = ENOSPC;
#endif

// The system's platform on the test's drives, with failures and odd sizes that a test asks for.
class WalkFaultPlatform : public ForwardingPlatform {
public:
    explicit WalkFaultPlatform(const std::vector<TestDrive>& drives) : ForwardingPlatform(systemPlatform(drives)) {}

    FolderSearch findFirst(std::string_view folder, std::string_view pattern, std::uint32_t mask,
                           bool details) override
    {
        ++searches;
        if (folder == unreadable)
            return {};
        FolderSearch inner = ForwardingPlatform::findFirst(folder, pattern, mask, details);
        if (!inner)
            return inner;
        return {std::make_unique<Resizing>(std::move(inner.search), sizes), {}};
    }
    FinishResult finishCopies() override
    {
        std::this_thread::sleep_for(finishTakes);
        FinishResult result = ForwardingPlatform::finishCopies();
        if (deviceFails)
            result.result = OpResult::failure(std::strerror(EIO));
        return result;
    }
    // The ages of the copies in `agesAskedIn` (a destination folder) as the walk reads them, ahead
    // or as it goes; once they are given, another program changes the folders (`onAgesAsked`).
    FileAge fileAge(std::string_view path) override
    {
        const FileAge age = ForwardingPlatform::fileAge(path);
        if (!agesAskedIn.empty() && path.starts_with(agesAskedIn))
            agesGiven();
        return age;
    }
    std::vector<FileAge> fileAges(std::string_view folder, const std::vector<std::string_view>& names) override
    {
        const std::vector<FileAge> ages = ForwardingPlatform::fileAges(folder, names);
        if (!agesAskedIn.empty() && folder == agesAskedIn)
            agesGiven();
        return ages;
    }
    // A clock that leaps `clockStep` at each look: every reading ahead is long past when used.
    std::int64_t monotonicNanos() override { return ForwardingPlatform::monotonicNanos() + clockStep * ++m_looks; }
    OpResult forceDirectories(std::string_view path, bool& created) override
    {
        created = false;
        if (refuseFolders)
            return OpResult::failure(std::strerror(EACCES));
        return ForwardingPlatform::forceDirectories(path, created);
    }
    OpResult copyFile(std::string_view source, std::string_view destination, const CopyDecision& decision) override
    {
        // While another copy is being written the device is full for this one.
        const int others = copying++;
        struct Done {
            std::atomic<int>& n;
            ~Done() { --n; }
        } done{copying};
        if (!roomName.empty() && source.ends_with(roomName) && others > 0)
            return OpResult::failure(systemError(kDiskFull));
        if (!slowName.empty() && source.ends_with(slowName))
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        if (beforeCopy)
            beforeCopy(destination);
#ifndef _WIN32
        if (!halfWayName.empty())
            system().cutNext = source.ends_with(halfWayName);
#endif
        return ForwardingPlatform::copyFile(source, destination, decision);
    }
#ifndef _WIN32
    FaultyPosixPlatform& system() { return static_cast<FaultyPosixPlatform&>(inner()); }
#endif

    std::map<std::string, std::int64_t> sizes;  // name -> size the search reports
    std::string unreadable;                     // a folder whose search fails
    bool refuseFolders = false;
    std::string halfWayName;
    std::string slowName;  // a copy that takes longer than a turn of the window
    std::string roomName;  // a copy that finds no room while another is being written
    std::string agesAskedIn;
    std::function<void()> onAgesAsked;  // called once, on the thread that asked
    std::function<void(std::string_view destination)> beforeCopy;  // on the thread that copies
    std::atomic<int> copying = 0;
    std::atomic<int> searches = 0;  // workers read folders too
    std::atomic<std::int64_t> clockStep = 0;
    std::chrono::milliseconds finishTakes{0};
    bool deviceFails = false;

private:
    void agesGiven()
    {
        const std::lock_guard lock(m_hookLock);
        if (onAgesAsked)
            std::exchange(onAgesAsked, {})();
    }
    std::mutex m_hookLock;
    std::atomic<std::int64_t> m_looks = 0;

    static std::unique_ptr<Platform> systemPlatform(const std::vector<TestDrive>& drives)
    {
#ifdef _WIN32
        return drivesPlatform(drives);
#else
        DriveTable table;
        for (const TestDrive& d : drives)
            table.set(d.letter, Drive{d.folder, d.type, d.hasMedium});
        // On POSIX a copy can be cut off after its first bytes, as a full disk or a failing
        // device would; a listing can break off part-way, a copy can read back changed, and the
        // destination can be any kind of file system.
        auto faulty = std::make_unique<FaultyPosixPlatform>(std::move(table));
        faulty->fileSystem = 0x58465342;  // XFS: a disk whose copies wait for the batch's flush
        return faulty;
#endif
    }

    class Resizing : public DirSearch {
    public:
        Resizing(std::unique_ptr<DirSearch> inner, const std::map<std::string, std::int64_t>& sizes)
            : m_inner(std::move(inner)), m_sizes(sizes)
        {
        }
        bool next(DirEntry& e) override
        {
            if (!m_inner->next(e))
                return false;
            if (auto it = m_sizes.find(e.name); it != m_sizes.end())
                e.size = it->second;
            return true;
        }
        std::vector<std::string> subfolders(bool hidden) override { return m_inner->subfolders(hidden); }
        std::error_code failure() const override { return m_inner->failure(); }

    private:
        std::unique_ptr<DirSearch> m_inner;
        const std::map<std::string, std::int64_t>& m_sizes;
    };
};

class CopyWalkTest : public ::testing::Test {
protected:
    CopyWalkTest() : platform({{'D', tmp / "d"}, {'E', tmp / "e"}})
    {
        std::filesystem::create_directories(tmp / "d");
        std::filesystem::create_directories(tmp / "e");
    }

    std::string src(const std::string& rel) const { return tmp / ("d/src/" + rel); }
    std::string dst(const std::string& rel) const { return tmp / ("e/backup/" + rel); }

    // A source file stamped 7 December 2026 11:05:32 local time unless told otherwise.
    void source(const std::string& rel, const std::string& content = "x", int second = 32)
    {
        writeFile(src(rel), content);
        setLocalMtime(src(rel), 2026, 12, 7, 11, 5, second);
    }

    RunTotals run()
    {
        CopyWalk walk(platform, host, text::RegionalSettings::finnish());
        return walk.run(texts);
    }

    TempDir tmp;
    WalkFaultPlatform platform;
    RecordingHost host;
    RunTexts texts{"D:\\src\\", "E:\\backup", "*.*", ".~|.bak", true};
};

inline constexpr const char* kTime = "   7.12.2026 11:05:32";

}  // namespace sarvoli::testing
