#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "TempDir.h"
#include "platform/DriveType.h"
#include "platform/TemporaryName.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Platform.h"

using namespace sarvoli::platform;
using namespace sarvoli::testing;
using sarvoli::text::FileTime;

namespace {

class Win32PlatformTest : public ::testing::Test {
protected:
    // The path text of a file of the test.
    std::string text(const std::string& relative) const
    {
        std::string p = tmp / relative;
        std::replace(p.begin(), p.end(), '/', '\\');
        return p;
    }

    std::vector<std::string> names(const std::string& pattern, std::uint32_t mask)
    {
        std::vector<std::string> found;
        if (auto search = platform.findFirst(text("") , pattern, mask, true)) {
            DirEntry e;
            while (search->next(e))
                found.push_back(e.name);
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    TempDir tmp;
    Win32Platform platform;
};

TEST_F(Win32PlatformTest, searchesFilterByTheAttributesTheMaskLacks)
{
    for (const char* name : {"plain.txt", "hidden.txt", "system.txt", "readonly.txt"})
        writeFile(tmp / name, "x");
    CreateDirectoryA(text("folder").c_str(), nullptr);
    CreateDirectoryA(text("hiddenfolder").c_str(), nullptr);
    SetFileAttributesA(text("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(text("system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA(text("readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(text("hiddenfolder").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);

    using V = std::vector<std::string>;
    EXPECT_EQ(names("*.*", ReadOnly | Hidden | System | VolumeLabel | Archive),
              (V{"hidden.txt", "plain.txt", "readonly.txt", "system.txt"}));
    EXPECT_EQ(names("*.*", Directory), (V{"folder", "plain.txt", "readonly.txt"}));
    EXPECT_EQ(names("*.*", 0), (V{"plain.txt", "readonly.txt"})) << "read-only never filters";
    EXPECT_EQ(names("P*", Archive), (V{"plain.txt"})) << "the system matches without regard to case";

    auto search = platform.findFirst(text(""), "*.txt", Archive, false);
    ASSERT_TRUE(search);
    DirEntry e;
    while (search->next(e)) {
    }
    EXPECT_EQ(search->subfolders(false), (V{"folder"})) << "hidden folders are not walked";
    EXPECT_EQ(search->subfolders(true), (V{"folder", "hiddenfolder"})) << "unless asked";
    const FolderSearch missing = platform.findFirst(text("missing\\"), "*.*", Archive, false);
    EXPECT_FALSE(missing);
    EXPECT_TRUE(missing.access.missing);
    EXPECT_TRUE(platform.findFirst(text(""), "nothing*", Archive, false)) << "its subfolders remain";
    SetFileAttributesA(text("readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32PlatformTest, fileTimesAreLocalInTwoSecondSteps)
{
    writeFile(tmp / "odd.txt", "x");
    setLocalMtime(tmp / "odd.txt", 2026, 12, 7, 11, 5, 33);
    writeFile(tmp / "old.txt", "x");
    setLocalMtime(tmp / "old.txt", 1975, 6, 1, 8, 0, 1);

    const auto odd = platform.fileAge(text("odd.txt"));
    ASSERT_TRUE(odd.exists);
    const std::uint32_t packed = ((2026u - 1980) << 25) | (12u << 21) | (7u << 16) | (11u << 11) | (5u << 5) | 16u;
    EXPECT_TRUE(odd.time == *FileTime::fromDosPacked(packed)) << "odd seconds are cut to the even second before";
    EXPECT_EQ(odd.size, 1);
    const auto old = platform.fileAge(text("old.txt"));
    ASSERT_TRUE(old.exists);
    EXPECT_FALSE(old.time.dosPacked().has_value()) << "before 1980: no packed form";
    EXPECT_LT(old.time, odd.time);
    EXPECT_FALSE(platform.fileAge(text("")).exists) << "a folder has no file age";
    EXPECT_TRUE(platform.fileAge(text("")).result.ok);
}

TEST_F(Win32PlatformTest, drivesAnswerTheirTypesAndSizes)
{
    EXPECT_EQ(platform.driveType("C:\\"), DriveFixed);
    EXPECT_EQ(platform.driveType("c:\\"), DriveFixed);
    EXPECT_EQ(platform.driveType("Q:\\"), DriveNoRootDir);
    EXPECT_GT(platform.diskSize(3), 0);
    EXPECT_EQ(platform.diskSize(17), -1) << "no drive Q:";
    EXPECT_EQ(platform.diskSize(0), -1);
    const unsigned before = platform.setErrorMode(1);
    EXPECT_EQ(platform.setErrorMode(before) & 1u, 1u);
}

TEST_F(Win32PlatformTest, aCopyReplacesTheOldOneWholeOrNotAtAll)
{
    writeFile(tmp / "src/a.txt", "new");
    setMtimeSeconds(tmp / "src/a.txt", 1'700'000'000);
    writeFile(tmp / "dst/a.txt", "old");
    SetFileAttributesA(text("dst/a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(platform.copyFile(text("src/a.txt"), text("dst/a.txt"), {}).ok) << "a read-only copy is replaced too";
    EXPECT_EQ(readFile(tmp / "dst/a.txt"), "new");
    EXPECT_EQ(mtimeNanos(tmp / "dst/a.txt"), mtimeNanos(tmp / "src/a.txt"));

    const OpResult missing = platform.copyFile(text("src/none.txt"), text("dst/a.txt"), {});
    EXPECT_TRUE(!missing.ok && missing.unneeded) << "gone since it was listed: nothing to copy, nothing to say";
    CreateDirectoryA(text("dst/folder").c_str(), nullptr);
    EXPECT_FALSE(platform.copyFile(text("src/a.txt"), text("dst/folder"), {}).ok);
    EXPECT_EQ(readFile(tmp / "dst/a.txt"), "new");
    EXPECT_EQ(listFolder(tmp / "dst"), "a.txt folder") << "no temporary file is left";
    SetFileAttributesA(text("dst/a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    bool created = false;
    EXPECT_TRUE(platform.forceDirectories(text("made/deeper/still\\"), created).ok);
    EXPECT_TRUE(created);
    EXPECT_TRUE(platform.forceDirectories(text("made/deeper"), created).ok);
    EXPECT_FALSE(created);
    EXPECT_TRUE(platform.directoryExists(text("made/deeper/still")));
    EXPECT_EQ(platform.folderId(text("made")), platform.folderId(text("made/deeper/..")));
    EXPECT_NE(platform.folderId(text("made")), platform.folderId(text("made/deeper")));
}

TEST_F(Win32PlatformTest, nothingIsWrittenThroughALinkBelowTheGuardedRoot)
{
    // Put there by another program after the walk looked at the folder.
    writeFile(tmp / "src/a.txt", "a");
    std::filesystem::create_directories(tmp / "outside");
    std::filesystem::create_directories(tmp / "root");
    linkFolder(tmp / "outside", tmp / "root/sub");
    platform.guardBelow(text("root\\"));
    for (const char* target : {"root/sub/a.txt", "root/sub/deeper/a.txt"}) {
        const OpResult copied = platform.copyFile(text("src/a.txt"), text(target), {});
        EXPECT_FALSE(copied.ok) << target;
        EXPECT_NE(copied.reason().find("linkki"), std::string::npos) << copied.reason();
    }
    bool created = false;
    EXPECT_FALSE(platform.forceDirectories(text("root/sub/new\\"), created).ok);
    EXPECT_EQ(listFolder(tmp / "outside"), "");
    platform.holdFolders(false);  // the run is over: the guard with it
    EXPECT_TRUE(platform.copyFile(text("src/a.txt"), text("root/sub/a.txt"), {}).ok);
    EXPECT_EQ(listFolder(tmp / "outside"), "a.txt");
    removeTree(tmp / "root");
}

TEST_F(Win32PlatformTest, aKilledRunsTemporaryFileGoesThoughTheNextRunHasItsProcessNumber)
{
    // Wine gives the next process the number of the one before: its start tells them apart.
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(computer, &size));
    FILETIME created{}, exited{}, kernel{}, user{};
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
    const std::uint64_t started = (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    TemporaryOwner self{temporaryMachineOf(textOf(std::wstring_view(computer, size)).value_or("")),
                        GetCurrentProcessId(), started};
    TemporaryOwner killed = self;
    killed.started = started - 10'000'000;  // a second before: another process of this number
    writeFile(tmp / temporaryFileName(killed, 1), "left");
    writeFile(tmp / temporaryFileName(self, 2), "being written");
    platform.removeLeftovers(text(""));
    EXPECT_EQ(listFolder(tmp.path()), temporaryFileName(self, 2));
}

// Another program that opens each new file as soon as it is there, sharing it as a virus
// scanner or a sync client does.
class OpenedAtOnce : public Win32Platform {
public:
    ~OpenedAtOnce() override { let(); }
    void let()
    {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
    HANDLE held = INVALID_HANDLE_VALUE;

protected:
    void copyMade(const std::string& temporary) override
    {
        let();
        held = CreateFileA(temporary.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
};

TEST_F(Win32PlatformTest, aReadOnlySourceAndANewFileOpenedByAnotherProgramAreCopiedAllTheSame)
{
    // Run as an ordinary user: for root Wine lets a read-only file be opened for writing.
    writeFile(tmp / "src/ro.txt", "first");
    CreateDirectoryA(text("dst").c_str(), nullptr);
    SetFileAttributesA(text("src/ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    for (const char* content : {"first", "second"}) {
        if (std::string(content) == "second") {
            SetFileAttributesA(text("src/ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
            writeFile(tmp / "src/ro.txt", content);
            setMtimeSeconds(tmp / "src/ro.txt", 1'800'000'000);
            SetFileAttributesA(text("src/ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        }
        const OpResult copied = platform.copyFile(text("src/ro.txt"), text("dst/ro.txt"), {});
        EXPECT_TRUE(copied.ok) << content << ": " << copied.reason();
        EXPECT_EQ(readFile(tmp / "dst/ro.txt"), content);
        EXPECT_TRUE(GetFileAttributesA(text("dst/ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY)
            << "the copy keeps its source's attributes";
    }

    OpenedAtOnce scanned;
    writeFile(tmp / "src/a.txt", "scanned");
    const OpResult copied = scanned.copyFile(text("src/a.txt"), text("dst/a.txt"), {});
    ASSERT_NE(scanned.held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(copied.ok) << copied.reason();
    scanned.let();
    EXPECT_EQ(readFile(tmp / "dst/a.txt"), "scanned");
    SetFileAttributesA(text("dst/ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(text("src/ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(listFolder(tmp / "dst"), "a.txt ro.txt") << "no temporary file is left";
}

TEST_F(Win32PlatformTest, aCopyReadBackIsTheSameOrLeftOlderForTheNextRun)
{
    writeFile(tmp / "a.bin", std::string(3 << 20, 'a') + "end");
    ASSERT_TRUE(platform.copyFile(text("a.bin"), text("copy.bin"), {}).ok);
    Verification v = platform.verifyCopy(text("a.bin"), text("copy.bin"));
    EXPECT_TRUE(v.result.ok) << v.result.reason();
    EXPECT_TRUE(v.same);

    writeFile(tmp / "copy.bin", std::string(3 << 20, 'a') + "END");  // the same size, other bytes
    const FileTime source = platform.fileAge(text("a.bin")).time;
    v = platform.verifyCopy(text("a.bin"), text("copy.bin"));
    EXPECT_TRUE(v.result.ok) << v.result.reason();
    EXPECT_FALSE(v.same);
    EXPECT_TRUE(platform.fileAge(text("copy.bin")).time < source) << "older, to be copied again";
}

}  // namespace
