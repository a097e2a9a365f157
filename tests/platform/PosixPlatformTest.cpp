#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "FaultyPosixPlatform.h"
#include "TempDir.h"
#include "platform/posix/PosixPlatform.h"

using namespace sarvoli::platform;
using namespace sarvoli::testing;

namespace {

class PosixPlatformTest : public ::testing::Test {
protected:
    PosixPlatformTest() : platform(table()) {}

    DriveTable table()
    {
        DriveTable t;
        t.set('D', Drive{tmp.path(), DriveFixed, true});
        return t;
    }

    // Name -> attributes of every entry of a search.
    std::map<std::string, std::uint32_t> search(const char* pattern, std::uint32_t mask, bool details = false)
    {
        std::map<std::string, std::uint32_t> found;
        auto s = platform.findFirst("D:\\f\\", pattern, mask, details);
        if (!s)
            return found;
        DirEntry e;
        while (s->next(e))
            found[e.name] = e.attributes;
        return found;
    }

    void makeSearchTree()
    {
        writeFile(tmp / "f/a.txt", "a");
        writeFile(tmp / "f/B.TXT", "b");
        writeFile(tmp / "f/.hidden.txt", "h");
        writeFile(tmp / "f/readme", "r");
        writeFile(tmp / "f/sub/x", "x");
        writeFile(tmp / "f/.hiddendir/x", "x");
        writeFile(tmp / "f/ro.txt", "r");
        chmod((tmp / "f/ro.txt").c_str(), 0444);
        symlink("sub", (tmp / "f/dirlink").c_str());
        symlink("a.txt", (tmp / "f/filelink.txt").c_str());
        mkfifo((tmp / "f/pipe").c_str(), 0644);
    }

    TempDir tmp;
    PosixPlatform platform;
};

constexpr std::uint32_t kFiles = ReadOnly | Hidden | System | VolumeLabel | Archive;

TEST_F(PosixPlatformTest, fileSearchReturnsFilesOfTheMaskAndNoFolders)
{
    makeSearchTree();
    const std::map<std::string, std::uint32_t> expected = {
        {"a.txt", Archive},   {"B.TXT", Archive},           {".hidden.txt", Archive | Hidden},
        {"readme", Archive},  {"ro.txt", Archive | ReadOnly}, {"filelink.txt", Archive | ReparsePoint}};
    EXPECT_EQ(search("*.*", kFiles, true), expected);

    const std::map<std::string, std::uint32_t> txt = {{"a.txt", Archive},
                                                      {"B.TXT", Archive},
                                                      {".hidden.txt", Archive | Hidden},
                                                      {"ro.txt", Archive | ReadOnly},
                                                      {"filelink.txt", Archive | ReparsePoint}};
    EXPECT_EQ(search("*.txt", kFiles, true), txt);
    EXPECT_EQ(search("*.txt", kFiles & ~Hidden, true).count(".hidden.txt"), 0u);
}

TEST_F(PosixPlatformTest, folderSearchReturnsVisibleFoldersAndPlainFiles)
{
    makeSearchTree();
    const auto found = search("*.*", Directory);
    EXPECT_EQ(found.at("sub"), Directory);
    EXPECT_EQ(found.at("dirlink"), Directory | ReparsePoint);
    EXPECT_EQ(found.at("a.txt"), Archive);
    EXPECT_EQ(found.count(".hiddendir"), 0u);
    EXPECT_EQ(found.count(".hidden.txt"), 0u);
    EXPECT_EQ(found.count("pipe"), 0u);
    EXPECT_EQ(found.count("."), 0u);
    EXPECT_EQ(found.count(".."), 0u);
    EXPECT_EQ(search("*.*", Directory | Hidden).at(".hiddendir"), Directory | Hidden);
}

TEST_F(PosixPlatformTest, searchGivesSizeAndTwoSecondLocalTime)
{
    writeFile(tmp / "f/data.bin", std::string(12345, 'x'));
    setLocalMtime(tmp / "f/data.bin", 2026, 12, 7, 11, 5, 33);
    auto s = platform.findFirst("D:\\f\\", "data.bin", kFiles, true);
    ASSERT_TRUE(s);
    DirEntry e;
    ASSERT_TRUE(s->next(e));
    EXPECT_EQ(e.size, 12345);
    ASSERT_TRUE(e.time.dosPacked().has_value());
    EXPECT_EQ(*e.time.dosPacked(), ((46u << 9 | 12u << 5 | 7u) << 16) | (11u << 11 | 5u << 5 | 16u));
    EXPECT_EQ(platform.fileAge("D:\\f\\data.bin").time, e.time);
    EXPECT_FALSE(s->next(e));
}

TEST_F(PosixPlatformTest, searchOfAMissingFolderFindsNothing)
{
    for (const char* missing : {"D:\\nothing\\", "Q:\\"}) {
        const FolderSearch search = platform.findFirst(missing, "*.*", kFiles, true);
        EXPECT_FALSE(search) << missing;
        EXPECT_TRUE(search.access.missing) << missing;
    }
}

TEST_F(PosixPlatformTest, aFolderIsNoFile)
{
    writeFile(tmp / "f/file", "x");
    EXPECT_TRUE(platform.fileExists("D:\\f\\file"));
    EXPECT_FALSE(platform.fileExists("D:\\f"));
    EXPECT_FALSE(platform.fileExists("D:\\f\\missing"));
    EXPECT_FALSE(platform.fileAge("D:\\f").exists);
    EXPECT_TRUE(platform.directoryExists("D:\\f\\"));
    EXPECT_FALSE(platform.directoryExists("D:\\f\\file"));
}

TEST_F(PosixPlatformTest, forceDirectoriesMakesEveryMissingParent)
{
    bool created = false;
    ASSERT_TRUE(platform.forceDirectories("D:\\a\\b\\c\\", created).ok);
    EXPECT_TRUE(created);
    EXPECT_TRUE(isDirectory(tmp / "a/b/c"));
    EXPECT_TRUE(platform.forceDirectories("D:\\a\\b\\c", created).ok) << "an existing folder is fine";
    EXPECT_FALSE(created) << "and not made now";

    writeFile(tmp / "blocker", "x");
    const OpResult r = platform.forceDirectories("D:\\blocker\\sub\\", created);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason(), std::strerror(ENOTDIR));
}

TEST_F(PosixPlatformTest, copyKeepsContentTimeAndPermissions)
{
    const std::string content(3 * 1024 * 1024 + 17, 'q');
    writeFile(tmp / "src/big.bin", content);
    chmod((tmp / "src/big.bin").c_str(), 04640);
    const struct timespec times[2] = {{1'700'000'000, 123'456'789}, {1'700'000'001, 987'654'321}};
    utimensat(AT_FDCWD, (tmp / "src/big.bin").c_str(), times, 0);
    mkdir((tmp / "dst").c_str(), 0755);

    ASSERT_TRUE(platform.copyFile("D:\\src\\big.bin", "D:\\dst\\big.bin", {}).ok);
    ASSERT_TRUE(platform.finishCopies().result.ok);
    EXPECT_EQ(readFile(tmp / "dst/big.bin"), content);
    EXPECT_EQ(mtimeNanos(tmp / "dst/big.bin"), mtimeNanos(tmp / "src/big.bin"));
    struct stat st {};
    stat((tmp / "dst/big.bin").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "permissions kept, set-id bits dropped";
    EXPECT_EQ(listFolder(tmp / "dst"), "big.bin");

    // Bits that the umask would take away are kept too.
    const mode_t old = umask(022);
    PosixPlatform masked(table());
    writeFile(tmp / "src/shared.txt", "s");
    chmod((tmp / "src/shared.txt").c_str(), 0666);
    ASSERT_TRUE(masked.copyFile("D:\\src\\shared.txt", "D:\\dst\\shared.txt", {}).ok);
    umask(old);
    stat((tmp / "dst/shared.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

TEST_F(PosixPlatformTest, copyOverwritesAnExistingFileEvenAReadOnlyOne)
{
    writeFile(tmp / "src/a.txt", "new");
    writeFile(tmp / "dst/a.txt", "old and longer");
    chmod((tmp / "dst/a.txt").c_str(), 0444);
    ASSERT_TRUE(platform.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {}).ok);
    ASSERT_TRUE(platform.finishCopies().result.ok);
    EXPECT_EQ(readFile(tmp / "dst/a.txt"), "new");
    EXPECT_EQ(listFolder(tmp / "dst"), "a.txt");
}

TEST_F(PosixPlatformTest, copyRefusesWhatItCannotDoAndSaysWhy)
{
    writeFile(tmp / "src/a.txt", "a");
    writeFile(tmp / "dst/a.txt/inside", "a folder in the way");
    mkfifo((tmp / "src/pipe").c_str(), 0644);
    mkdir((tmp / "src/folder").c_str(), 0755);

    OpResult r = platform.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason(), std::strerror(EISDIR));
    EXPECT_EQ(readFile(tmp / "dst/a.txt/inside"), "a folder in the way");

    // Gone since its folder was listed: nothing to copy and nothing to say. A link that points
    // nowhere is there, and cannot be copied.
    r = platform.copyFile("D:\\src\\missing", "D:\\dst\\missing", {});
    EXPECT_TRUE(!r.ok && r.unneeded) << r.reason();
    symlink((tmp / "nowhere").c_str(), (tmp / "src/dangling").c_str());
    for (const OpResult& dangling : {platform.copyFile("D:\\src\\dangling", "D:\\dst\\dangling", {}),
                                     platform.previewCopy("D:\\src\\dangling", "D:\\dst\\dangling")}) {
        EXPECT_FALSE(dangling.ok || dangling.unneeded);
        EXPECT_EQ(dangling.reason(), std::strerror(ENOENT));
    }

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform.copyFile("D:\\src\\pipe", "D:\\dst\\pipe", {}).ok) << "a pipe is no file";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(platform.copyFile("D:\\src\\folder", "D:\\dst\\folder", {}).ok);

    r = platform.copyFile("D:\\src\\a.txt", "D:\\nofolder\\a.txt", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(listFolder(tmp / "dst"), "a.txt");

    // A copy that cannot be reached to be read back is not proven the same.
    for (const char* copy : {"Q:\\no drive\\a.txt", "D:\\dst\\never-made.txt"})
        EXPECT_FALSE(platform.verifyCopy("D:\\src\\a.txt", copy).result.ok) << copy;
}

TEST_F(PosixPlatformTest, aCopyThatFailsHalfWayLeavesTheOldCopyAndNoTemporaryFile)
{
    struct Row {
        const char* kind;
        int cutWith;
        bool writesNothing;
        int error;
    };
    const Row rows[] = {
        {"part of the data copied, then a full disk", ENOSPC, false, ENOSPC},
        // Asked again, it would never end.
        {"a device whose writes take nothing and say nothing", 0, true, EIO},
    };
    for (const Row& row : rows) {
        std::filesystem::remove_all(tmp / "dst");
        writeFile(tmp / "src/a.txt", std::string(100'000, 'n'));
        writeFile(tmp / "dst/a.txt", "the previous copy");
        const std::int64_t before = mtimeNanos(tmp / "dst/a.txt");
        FaultyPosixPlatform failing(table());
        failing.cutWith = row.cutWith;
        failing.writesNothing = row.writesNothing;
        const OpResult r = failing.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {});
        EXPECT_FALSE(r.ok) << row.kind;
        EXPECT_EQ(r.reason(), std::strerror(row.error)) << row.kind;
        EXPECT_EQ(readFile(tmp / "dst/a.txt"), "the previous copy") << row.kind;
        EXPECT_EQ(mtimeNanos(tmp / "dst/a.txt"), before) << row.kind;
        EXPECT_FALSE(failing.copyFile("D:\\src\\a.txt", "D:\\dst\\new.txt", {}).ok) << row.kind;
        EXPECT_EQ(listFolder(tmp / "dst"), "a.txt") << row.kind << ": a new copy that failed leaves nothing";
    }
}

TEST_F(PosixPlatformTest, aCopyIsOlderThanItsSourceUntilItsDataIsOnTheDevice)
{
    using sarvoli::text::FileTime;
    writeFile(tmp / "src/a.txt", "new");
    setMtimeSeconds(tmp / "src/a.txt", 1'700'000'001);
    mkdir((tmp / "dst").c_str(), 0755);
    FaultyPosixPlatform device(table());
    device.fileSystem = EXT4_SUPER_MAGIC;  // a disk flushed by batches, unless told
    ASSERT_TRUE(device.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {}).ok);
    EXPECT_EQ(readFile(tmp / "dst/a.txt"), "new");
    const auto older = [&] { return FileTime::fromUtc(mtimeNanos(tmp / "dst/a.txt") / 1'000'000'000, 0)
                                    < FileTime::fromUtc(1'700'000'001, 0); };
    EXPECT_TRUE(older()) << "a power cut now leaves the copy to the next run";

    device.deviceFails = true;
    const FinishResult failed = device.finishCopies();
    EXPECT_FALSE(failed.result.ok);
    EXPECT_EQ(failed.result.reason(), std::strerror(EIO));
    EXPECT_EQ(failed.lost, std::vector<std::string>{"D:\\dst\\a.txt"}) << "the copy is named as lost";
    EXPECT_TRUE(older()) << "a copy that may not be on the device is never taken for complete";

    device.deviceFails = false;
    ASSERT_TRUE(device.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {}).ok);
    ASSERT_TRUE(device.finishCopies().result.ok);
    EXPECT_EQ(mtimeNanos(tmp / "dst/a.txt"), mtimeNanos(tmp / "src/a.txt"));

    // A file put in the copy's place before the copy is finished keeps its own time.
    ASSERT_TRUE(device.copyFile("D:\\src\\a.txt", "D:\\dst\\b.txt", {}).ok);
    std::remove((tmp / "dst/b.txt").c_str());
    writeFile(tmp / "dst/b.txt", "the user's");
    setMtimeSeconds(tmp / "dst/b.txt", 1'600'000'000);
    ASSERT_TRUE(device.finishCopies().result.ok);
    EXPECT_EQ(mtimeNanos(tmp / "dst/b.txt"), 1'600'000'000'000'000'000);

    // A replacement waits beside the old copy for its batch: a device that fails to take the
    // batch, or a file written at the target since by another program, leaves the file there.
    const CopyDecision ifOlder{[](const FileAge& s, const FileAge& t) { return t.time < s.time; }, true, nullptr};
    for (const bool fails : {true, false}) {
        writeFile(tmp / "dst/c.txt", "the copy before");
        setMtimeSeconds(tmp / "dst/c.txt", 1'600'000'000);
        ASSERT_TRUE(device.copyFile("D:\\src\\a.txt", "D:\\dst\\c.txt", ifOlder).ok);
        EXPECT_EQ(readFile(tmp / "dst/c.txt"), "the copy before");
        device.deviceFails = fails;
        if (!fails) {
            writeFile(tmp / "dst/c.txt", "written since");
            setMtimeSeconds(tmp / "dst/c.txt", 1'750'000'000);
        }
        const FinishResult finish = device.finishCopies();
        EXPECT_EQ(finish.lost, fails ? std::vector<std::string>{"D:\\dst\\c.txt"} : std::vector<std::string>{});
        ASSERT_EQ(finish.notReplaced.size(), fails ? 0u : 1u);
        if (!fails) {
            EXPECT_EQ(finish.notReplaced[0].first, "D:\\dst\\c.txt");
            EXPECT_TRUE(finish.notReplaced[0].second.unneeded);
        }
        EXPECT_EQ(readFile(tmp / "dst/c.txt"), fails ? "the copy before" : "written since");
        EXPECT_EQ(listFolder(tmp / "dst"), "a.txt b.txt c.txt") << "no temporary file left";
    }
}

TEST_F(PosixPlatformTest, eachKindOfDeviceGetsTheFlushThatItCanBeTrustedWith)
{
    constexpr long kFuse = 0x65735546;
    constexpr long kCifs = 0xFF534D42;
    struct Row {
        const char* kind;
        long fileSystem;
        bool replacing;   // a copy is there before
        bool oldSource;   // from before 1980: no room for an older time
        int fileSyncs;    // flushes of the copy by itself
        bool namedAtOnce; // the copy is at its name before finishCopies(); else the old one is, whole
        bool finalAtOnce; // the copy has its source's time before finishCopies()
        int fileSystemSyncs;
        DestinationClass destination;
        bool triesOptionalCalls;  // an unnamed file and the kernel's copy
    };
    constexpr auto kMemory = DestinationClass::Memory;
    constexpr auto kLocal = DestinationClass::LocalDisk;
    constexpr auto kFuseClass = DestinationClass::Fuse;
    constexpr auto kNetwork = DestinationClass::Network;
    const Row rows[] = {
        {"tmpfs", TMPFS_MAGIC, false, false, 0, true, true, 0, kMemory, true},
        {"tmpfs, replacing", TMPFS_MAGIC, true, false, 0, true, true, 0, kMemory, true},
        {"ext4", EXT4_SUPER_MAGIC, false, false, 0, true, false, 2, kLocal, true},
        // Replacements wait beside their old copies for the batch's one flush, then are renamed
        // in and the names flushed once more.
        {"ext4, replacing", EXT4_SUPER_MAGIC, true, false, 0, false, false, 2, kLocal, true},
        {"ext4, replacing a source before 1980", EXT4_SUPER_MAGIC, true, true, 1, true, true, 1, kLocal, true},
        {"ext4, a source before 1980", EXT4_SUPER_MAGIC, false, true, 1, true, true, 1, kLocal, true},
        {"XFS, replacing", XFS_SUPER_MAGIC, true, false, 0, false, false, 2, kLocal, true},
        {"FAT", MSDOS_SUPER_MAGIC, false, false, 0, true, false, 2, kLocal, true},
        {"FAT, replacing", MSDOS_SUPER_MAGIC, true, false, 1, true, true, 1, kLocal, true},
        {"FUSE (sshfs, rclone)", kFuse, false, false, 1, true, true, 0, kFuseClass, false},
        {"FUSE, replacing", kFuse, true, false, 1, true, true, 0, kFuseClass, false},
        {"NFS", NFS_SUPER_MAGIC, false, false, 1, true, true, 0, kNetwork, false},
        {"NFS, replacing", NFS_SUPER_MAGIC, true, false, 1, true, true, 0, kNetwork, false},
        {"SMB", kCifs, false, false, 1, true, true, 0, kNetwork, false},
        {"a file system that cannot be told", 0, false, false, 1, true, true, 0, kLocal, true},
    };
    for (const Row& r : rows) {
        FaultyPosixPlatform device(table());
        device.fileSystem = r.fileSystem;
        EXPECT_EQ(device.destinationClass("D:\\dst\\not made yet\\"), r.destination) << r.kind;
        std::filesystem::remove_all(tmp / "dst");
        writeFile(tmp / "src/a.txt", "new");
        setMtimeSeconds(tmp / "src/a.txt", r.oldSource ? 100'000'000 : 1'700'000'000);
        writeFile(tmp / "dst/keep", "");
        if (r.replacing) {
            writeFile(tmp / "dst/a.txt", "the copy before");
            setMtimeSeconds(tmp / "dst/a.txt", 1'600'000'000);
        }
        ASSERT_TRUE(device.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {}).ok) << r.kind;
        EXPECT_EQ(readFile(tmp / "dst/a.txt"), r.namedAtOnce ? "new" : "the copy before") << r.kind;
        EXPECT_EQ(device.fileSyncs, r.fileSyncs) << r.kind;
        if (r.namedAtOnce) {
            EXPECT_EQ(mtimeNanos(tmp / "dst/a.txt") == mtimeNanos(tmp / "src/a.txt"), r.finalAtOnce) << r.kind;
        }
        ASSERT_TRUE(device.finishCopies().result.ok) << r.kind;
        EXPECT_EQ(device.fileSystemSyncs, r.fileSystemSyncs) << r.kind;
        EXPECT_EQ(mtimeNanos(tmp / "dst/a.txt"), mtimeNanos(tmp / "src/a.txt")) << r.kind;
        EXPECT_EQ(listFolder(tmp / "dst"), "a.txt keep") << r.kind << ": no temporary file left";
        EXPECT_EQ(device.unnamedAsked, r.triesOptionalCalls ? 1 : 0) << r.kind;
        EXPECT_EQ(device.kernelCopyAsked, r.triesOptionalCalls ? 1 : 0) << r.kind;
    }
}

TEST_F(PosixPlatformTest, aCallThatAFileSystemRefusedIsNotAskedAgainInTheRun)
{
    FaultyPosixPlatform device(table());
    device.fileSystem = MSDOS_SUPER_MAGIC;  // a memory stick: neither unnamed files nor the kernel's copy
    device.refusesOptionalCalls = true;
    for (const char* name : {"a", "b", "c"})
        writeFile(tmp / ("src/" + std::string(name)), std::string("data of ") + name);
    const auto copyAll = [&](const std::string& into) {
        for (const char* folder : {"x", "y"})
            for (const char* name : {"a", "b", "c"})
                ASSERT_TRUE(device.copyFile(std::string("D:\\src\\") + name,
                                            "D:\\" + into + "\\" + folder + "\\" + name, {}).ok);
        ASSERT_TRUE(device.finishCopies().result.ok);
    };
    for (const char* folder : {"x", "y"}) {
        std::filesystem::create_directories(tmp / ("run1/" + std::string(folder)));
        std::filesystem::create_directories(tmp / ("run2/" + std::string(folder)));
    }

    device.holdFolders(true);
    copyAll("run1");
    device.holdFolders(false);
    EXPECT_EQ(device.unnamedAsked, 1) << "six copies in two folders of one file system";
    EXPECT_EQ(device.kernelCopyAsked, 1);
    EXPECT_EQ(readFile(tmp / "run1/y/c"), "data of c") << "copied by hand all the same";
    EXPECT_EQ(listFolder(tmp / "run1/x"), "a b c") << "through named temporary files";

    // The next run asks again: the stick may have been swapped for a disk that can.
    device.holdFolders(true);
    copyAll("run2");
    device.holdFolders(false);
    EXPECT_EQ(device.unnamedAsked, 2);
    EXPECT_EQ(device.kernelCopyAsked, 2);
    EXPECT_EQ(readFile(tmp / "run2/x/b"), "data of b");
}

TEST_F(PosixPlatformTest, theFinalTimeFindsItsCopyWhereTheFileSystemNumbersItsFilesAnew)
{
    struct Row {
        const char* kind;
        long fileSystem;
        bool stamped;
    };
    // FAT gives a file read again from the disk a new inode number; on ext4 another number is
    // another file, put in the copy's place since, and not the run's to stamp.
    const Row rows[] = {{"FAT", MSDOS_SUPER_MAGIC, true}, {"ext4", EXT4_SUPER_MAGIC, false}};
    for (const Row& r : rows) {
        FaultyPosixPlatform device(table());
        device.fileSystem = r.fileSystem;
        writeFile(tmp / "src/a.txt", "new");
        setMtimeSeconds(tmp / "src/a.txt", 1'700'000'001);
        std::filesystem::remove_all(tmp / "dst");
        mkdir((tmp / "dst").c_str(), 0755);
        ASSERT_TRUE(device.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {}).ok);
        // The same name, size and time on a new inode, as after the copy was dropped from memory.
        device.afterFirstSync = [&] {
            const std::string copy = tmp / "dst/a.txt";
            struct stat before {};
            stat(copy.c_str(), &before);
            writeFile(copy + ".again", readFile(copy));
            const struct timespec times[2] = {before.st_atim, before.st_mtim};
            utimensat(AT_FDCWD, (copy + ".again").c_str(), times, 0);
            std::rename((copy + ".again").c_str(), copy.c_str());
            struct stat after {};
            stat(copy.c_str(), &after);
            EXPECT_NE(after.st_ino, before.st_ino);
        };
        ASSERT_TRUE(device.finishCopies().result.ok);
        EXPECT_EQ(mtimeNanos(tmp / "dst/a.txt") == mtimeNanos(tmp / "src/a.txt"), r.stamped) << r.kind;
    }
}

TEST_F(PosixPlatformTest, aSparseFileKeepsItsHoles)
{
    mkdir((tmp / "src").c_str(), 0755);
    mkdir((tmp / "dst").c_str(), 0755);
    const std::string path = tmp / "src/sparse.img";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const off_t size = 64 << 20;
    ASSERT_EQ(pwrite(fd, "begin", 5, 0), 5);
    ASSERT_EQ(pwrite(fd, "middle", 6, size / 2), 6);
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
    struct stat source {};
    stat(path.c_str(), &source);
    if (source.st_blocks * 512 >= size)
        GTEST_SKIP() << "this file system keeps no holes";

    ASSERT_TRUE(platform.copyFile("D:\\src\\sparse.img", "D:\\dst\\sparse.img", {}).ok);
    struct stat copy {};
    stat((tmp / "dst/sparse.img").c_str(), &copy);
    EXPECT_EQ(copy.st_size, size);
    EXPECT_LT(copy.st_blocks * 512, 1 << 20) << "the holes are holes, not zeros on the disk";
    EXPECT_EQ(readFile(tmp / "dst/sparse.img"), readFile(path));
}

TEST_F(PosixPlatformTest, withoutUnnamedFilesANamedTemporaryFileDoesTheSame)
{
    FaultyPosixPlatform named(table());
    named.refusesUnnamed = true;  // a file system without unnamed files: copies go through a named temporary file
    writeFile(tmp / "src/a.txt", "new");
    setMtimeSeconds(tmp / "src/a.txt", 1'700'000'000);
    writeFile(tmp / "dst/a.txt", "old");
    ASSERT_TRUE(named.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {}).ok);
    ASSERT_TRUE(named.finishCopies().result.ok);
    EXPECT_EQ(readFile(tmp / "dst/a.txt"), "new");
    EXPECT_EQ(mtimeNanos(tmp / "dst/a.txt"), mtimeNanos(tmp / "src/a.txt"));
    ASSERT_TRUE(named.copyFile("D:\\src\\a.txt", "D:\\dst\\b.txt", {}).ok);
    EXPECT_EQ(listFolder(tmp / "dst"), "a.txt b.txt");

    writeFile(tmp / "src/a.txt", std::string(100'000, 'n'));
    named.cutWith = ENOSPC;
    EXPECT_FALSE(named.copyFile("D:\\src\\a.txt", "D:\\dst\\a.txt", {}).ok);
    EXPECT_EQ(readFile(tmp / "dst/a.txt"), "new");
    EXPECT_EQ(listFolder(tmp / "dst"), "a.txt b.txt");

    named.cutWith = 0;
    mkdir((tmp / "dst/folder").c_str(), 0755);
    const OpResult r = named.copyFile("D:\\src\\a.txt", "D:\\dst\\folder", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(listFolder(tmp / "dst"), "a.txt b.txt folder");
}

TEST(PosixPlatformDrives, answerTypesAndSizesFromTheTable)
{
    TempDir tmp;
    DriveTable t;
    t.set('C', Drive{tmp.path(), DriveFixed, true});
    t.set('E', Drive{tmp.path(), DriveRemovable, false});
    t.set('F', Drive{tmp.path(), DriveCdRom, true});
    t.set('G', Drive{tmp / "missing", DriveFixed, true});
    PosixPlatform p(t);
    EXPECT_EQ(p.driveType("C:\\"), DriveFixed);
    EXPECT_EQ(p.driveType("c:\\"), DriveFixed);
    EXPECT_EQ(p.driveType("E:\\"), DriveRemovable);
    EXPECT_EQ(p.driveType("Q:\\"), DriveNoRootDir);
    EXPECT_EQ(p.driveType("\\:\\"), DriveNoRootDir);
    EXPECT_EQ(p.driveType("C:"), DriveNoRootDir) << "a root path needs its backslash";
    EXPECT_GT(p.diskSize(3), 0);
    EXPECT_EQ(p.diskSize(5), -1) << "no medium";
    EXPECT_GT(p.diskSize(6), 0);
    EXPECT_EQ(p.diskSize(7), -1) << "unreadable";
    EXPECT_EQ(p.diskSize(17), -1) << "no drive";
    EXPECT_EQ(p.diskSize(0), -1);
    EXPECT_EQ(p.setErrorMode(1), 0u);
    EXPECT_EQ(p.setErrorMode(0), 1u);
}

TEST(PosixPlatformClock, localNowIsTheLocalWallClock)
{
    PosixPlatform p;
    const double now = p.localNow();
    const std::int64_t local = static_cast<std::int64_t>(time(nullptr)) + currentUtcOffsetSeconds();
    const double expected = sarvoli::text::dateTimeFromLocalSeconds(local);
    EXPECT_NEAR(now, expected, 5.0 / 86400);
    const std::int64_t a = p.monotonicNanos();
    EXPECT_GE(p.monotonicNanos(), a);
}

}  // namespace
