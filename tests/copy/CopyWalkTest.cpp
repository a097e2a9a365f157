#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <algorithm>
#include <map>
#include <thread>
#include <tuple>

#include "CopyWalkFixture.h"

using namespace sarvoli;
using namespace sarvoli::copy;
using namespace sarvoli::platform;
using namespace sarvoli::testing;
using ::testing::ElementsAre;

namespace {

TEST_F(CopyWalkTest, copiesTheTreeDepthFirstWithOneLineAFile)
{
    source("a.txt", "alpha");
    source("docs/b.txt", "beta");
    source("docs/old/c.txt", "gamma");
    const RunTotals totals = run();
    EXPECT_THAT(host.lines, ElementsAre(std::string("E:\\backup\\a.txt") + kTime,
                                        std::string("E:\\backup\\docs\\b.txt") + kTime,
                                        std::string("E:\\backup\\docs\\old\\c.txt") + kTime));
    EXPECT_EQ(readFile(dst("docs/old/c.txt")), "gamma");
    EXPECT_EQ(mtimeNanos(dst("docs/old/c.txt")), mtimeNanos(src("docs/old/c.txt")));
    EXPECT_EQ(totals.copied, 3);
    EXPECT_EQ(totals.failed, 0);
    EXPECT_FALSE(totals.aborted);
}

TEST_F(CopyWalkTest, onlyMissingOrOlderCopiesAreMade)
{
    source("same.txt", "s");
    source("changed.txt", "v1");
    source("newer-copy.txt", "source");
    run();
    ASSERT_EQ(host.lines.size(), 3u);

    host.lines.clear();
    run();
    EXPECT_TRUE(host.lines.empty()) << "a second run copies nothing";

    source("changed.txt", "v2", 40);
    writeFile(dst("newer-copy.txt"), "edited copy");
    setLocalMtime(dst("newer-copy.txt"), 2026, 12, 8, 0, 0, 0);
    run();
    EXPECT_THAT(host.lines, ElementsAre("E:\\backup\\changed.txt   7.12.2026 11:05:40"));
    EXPECT_EQ(readFile(dst("changed.txt")), "v2");
    EXPECT_EQ(readFile(dst("newer-copy.txt")), "edited copy");
}

TEST_F(CopyWalkTest, aCopyAsNewAsItsSourceIsKeptUnlessItsSizeSaysOtherwise)
{
    struct Row {
        const char* name;
        const char* source;
        const char* copy;
        int copySecond;  // of the copy's time; the source's is 11:05:33
        bool copied;
    };
    const Row rows[] = {
        {"same-slot.txt", "a", "b", 32, false},  // 33 and 32 are one two-second slot
        {"same-slot-other-size.txt", "version2, longer", "version1", 32, true},  // saved twice within it
        {"newer-other-size.txt", "source", "an edited copy", 40, false},
        {"older.txt", "new", "old", 30, true},
        {"empty-newer.txt", "data", "", 40, true},  // what a copy cut off before its first byte leaves
        {"both-empty.txt", "", "", 40, false},
    };
    for (const Row& r : rows) {
        source(r.name, r.source, 33);
        writeFile(dst(r.name), r.copy);
        setLocalMtime(dst(r.name), 2026, 12, 7, 11, 5, r.copySecond);
    }
    run();
    for (const Row& r : rows) {
        EXPECT_EQ(readFile(dst(r.name)), r.copied ? r.source : r.copy) << r.name;
        const std::string line = "E:\\backup\\" + std::string(r.name) + kTime;
        EXPECT_EQ(std::count(host.lines.begin(), host.lines.end(), line), r.copied ? 1 : 0) << r.name;
    }
}

TEST_F(CopyWalkTest, sizesCountInThousandsOfBytesWithoutOverflow)
{
    source("small.txt", std::string(999, 's'));
    source("mid.txt", std::string(1999, 'm'));
    source("huge.iso", "pretends to be big");
    platform.sizes["huge.iso"] = 5'000'000'123LL;
    const RunTotals totals = run();
    EXPECT_EQ(totals.copied, 3);
    EXPECT_EQ(totals.kilobytes, 0 + 1 + 5'000'000);
}

TEST_F(CopyWalkTest, exclusionStringsKeepFilesOut)
{
    source("report.bak");
    source("other/report.BAK");  // a folder of its own: Windows names ignore case
    source("x.~doc");
    source("keep.txt");
    run();
    EXPECT_TRUE(exists(dst("other/report.BAK")));
    EXPECT_TRUE(exists(dst("keep.txt")));
    EXPECT_FALSE(exists(dst("report.bak")));
    EXPECT_FALSE(exists(dst("x.~doc")));
    EXPECT_EQ(host.lines.size(), 2u);
}

TEST_F(CopyWalkTest, hiddenFilesAreCopiedHiddenFoldersAreNotWalked)
{
    source(".profile");
    source(".cache/blob");
    run();
    EXPECT_TRUE(exists(dst(".profile")));
    EXPECT_FALSE(exists(dst(".cache")));
}

TEST_F(CopyWalkTest, maskSelectsFilesButEveryFolderIsWalked)
{
    texts.mask = "*.txt";
    source("top.txt");
    source("top.doc");
    source("sub.dir/deep/x.TXT");
    source("sub.dir/deep/y.doc");
    run();
    EXPECT_THAT(host.lines, ElementsAre(std::string("E:\\backup\\top.txt") + kTime,
                                        std::string("E:\\backup\\sub.dir\\deep\\x.TXT") + kTime));
}

TEST_F(CopyWalkTest, destinationFoldersAreMadeOnlyWhenAFileNeedsThem)
{
    texts.destination = "E:\\new\\deep\\backup";
    source("a/b/x.doc");
    std::filesystem::create_directories(src("empty/sub"));
    source("skipped/only.bak");
    run();
    EXPECT_TRUE(exists(tmp / "e/new/deep/backup/a/b/x.doc"));
    EXPECT_EQ(listFolder(tmp / "e/new/deep/backup"), "a");
    EXPECT_EQ(listFolder(tmp / "e/new/deep/backup/a"), "b");
}

TEST_F(CopyWalkTest, aFileStampedAtMidnightShowsItsDateAlone)
{
    writeFile(src("midnight.txt"), "m");
    setLocalMtime(src("midnight.txt"), 2026, 12, 7, 0, 0, 0);
    run();
    EXPECT_THAT(host.lines, ElementsAre("E:\\backup\\midnight.txt   7.12.2026"));
}

TEST_F(CopyWalkTest, withoutSubfoldersOnlyTheTopFolderIsCopied)
{
    texts.subfolders = false;
    source("a.txt");
    source("sub/b.txt");
    run();
    EXPECT_EQ(host.lines.size(), 1u);
    EXPECT_FALSE(exists(dst("sub")));
}

TEST_F(CopyWalkTest, aMaskThatIsEmptyOrHoldsAPathCopiesNothing)
{
    source("a.txt");
    source("sub/b.txt");
    for (const char* mask : {"", "sub\\*.txt", "sub/*.txt"}) {
        texts.mask = mask;
        run();
        EXPECT_TRUE(host.lines.empty()) << mask;
        EXPECT_FALSE(exists(dst(""))) << mask;
    }
}

TEST_F(CopyWalkTest, dottedFolderNamesAddNoLineOfTheirOwn)
{
    source("v1.2/a.txt");
    run();
    EXPECT_THAT(host.lines, ElementsAre(std::string("E:\\backup\\v1.2\\a.txt") + kTime));
    run();
    EXPECT_EQ(host.lines.size(), 1u) << "and nothing on the next run";
}

TEST_F(CopyWalkTest, aDestinationInsideTheSourceIsNotWalked)
{
    texts.destination = "D:\\src\\backup\\";
    source("a.txt");
    source("docs/b.txt");
    RunTotals totals = run();
    EXPECT_EQ(totals.copied, 2);
    EXPECT_TRUE(exists(src("backup/docs/b.txt")));
    EXPECT_FALSE(exists(src("backup/backup")));
    totals = run();
    EXPECT_EQ(totals.copied, 0);
}

TEST_F(CopyWalkTest, aRunNeverWritesIntoItsSourceTree)
{
    static constexpr const char* guarded = "   VIRHE: kohdekansio olisi lähdekansiossa, kansiota ei kopioida";
    [[maybe_unused]] static constexpr const char* throughLink = "   VIRHE: kohdekansio on symbolinen linkki tai liitoskohta, sen kautta ei kopioida";
    // How the source is reached: by its own name, by a symbolic link or a bind mount that lies
    // outside the destination, so that no path text of the source names the destination; or
    // how a link below the destination leads a folder's copies elsewhere: into the source, or
    // outside the destination.
    enum class Way { Name, Link, BindMount, LinkIntoSource, LinkOutside };
    struct Row {
        Way way;
        const char* source;
        const char* destination;
        const char* copied;   // the line of the one file copied, when one is
        const char* refused;  // the folder not copied
        const char* reason = guarded;
    };
    // Into a folder that holds the source, the source's own subfolder src\src\ would land
    // on the source folder; into the source itself, every folder would.
    std::vector<Row> rows = {
        {Way::Name, "D:\\src\\", "D:\\", "D:\\a.txt", "D:\\src\\"},
        {Way::Name, "D:\\src\\", "D:\\src\\..\\", "D:\\src\\..\\a.txt", "D:\\src\\..\\src\\"},
        {Way::Name, "D:\\src\\", "D:\\src", nullptr, "D:\\src\\"},
    };
#ifndef _WIN32
    // Under Wine links are made by the Linux side: the Windows platform's test and the program's
    // own check under Wine cover them there.
    rows.push_back({Way::Link, "E:\\link\\", "D:\\", "D:\\a.txt", "D:\\src\\"});
    rows.push_back({Way::LinkIntoSource, "D:\\src\\", "E:\\backup\\", "E:\\backup\\a.txt", "E:\\backup\\src\\", throughLink});
    rows.push_back({Way::LinkOutside, "D:\\src\\", "E:\\backup", "E:\\backup\\a.txt", "E:\\backup\\src\\", throughLink});
    if (geteuid() == 0)
        rows.push_back({Way::BindMount, "E:\\bound\\", "D:\\", "D:\\a.txt", "D:\\src\\"});
    else
        std::cout << "[ SKIPPED  ] the bind mount: mounting needs root\n";
#endif
    for (const Row& row : rows) {
        std::filesystem::remove_all(tmp / "d");
        source("a.txt", "the source");
        source("src/a.txt", "a copy of the source, newer", 40);
        std::filesystem::create_directories(tmp / "outside");
#ifndef _WIN32
        if (row.way == Way::Link)
            std::filesystem::create_directory_symlink(tmp / "d/src", tmp / "e/link");
        std::filesystem::remove_all(tmp / "e/backup");
        std::filesystem::create_directories(tmp / "e/backup");
        if (row.way == Way::LinkIntoSource)
            std::filesystem::create_directory_symlink(tmp / "d/src", tmp / "e/backup/src");
        if (row.way == Way::LinkOutside)
            std::filesystem::create_directory_symlink(tmp / "outside", tmp / "e/backup/src");
        if (row.way == Way::BindMount) {
            std::filesystem::create_directories(tmp / "e/bound");
            ASSERT_EQ(mount((tmp / "d/src").c_str(), (tmp / "e/bound").c_str(), nullptr, MS_BIND, nullptr), 0);
        }
#endif
        texts.source = row.source;
        texts.destination = row.destination;
        for (int round = 1; round <= 2; ++round) {
            host.lines.clear();
            run();
            std::vector<std::string> expected;
            if (row.copied && round == 1)
                expected.push_back(row.copied + std::string(kTime));
            expected.push_back(row.refused + std::string(row.reason));
            EXPECT_EQ(host.lines, expected) << row.source << " into " << row.destination << ", run " << round;
            EXPECT_EQ(readFile(src("a.txt")), "the source") << row.source;
            EXPECT_EQ(readFile(src("src/a.txt")), "a copy of the source, newer") << row.source;
            EXPECT_EQ(listFolder(tmp / "outside"), "") << row.source << " into " << row.destination;
        }
#ifndef _WIN32
        if (row.way == Way::BindMount)
            umount((tmp / "e/bound").c_str());
        std::filesystem::remove(tmp / "e/link");
#endif
    }
}

#ifndef _WIN32
// POSIX only: under Wine a link cannot be put in a folder's place in one step (the Windows
// platform's own test puts one on the way of a copy).
TEST_F(CopyWalkTest, aLinkPutBelowTheDestinationDuringTheRunIsNotWrittenThrough)
{
    // Put in a folder's place by another user of a shared destination, after the walk has found
    // the folder there and before the copies into it are made, on whichever thread makes them.
    std::filesystem::create_directories(tmp / "outside");
    source("a.txt");
    source("sub/b.txt");
    source("sub/deeper/c.txt");
    for (const int workers : {1, 2}) {
        std::filesystem::remove_all(dst(""));
        std::filesystem::create_directories(dst("sub/deeper"));
        // Copies into sub on another worker wait here until the link is in place. The folder is
        // moved away in one step, as another user would: the walk may be making a folder in it
        // through the handle it holds meanwhile.
        std::mutex planting;
        bool planted = false;
        platform.beforeCopy = [&](std::string_view destination) {
            const std::lock_guard lock(planting);
            if (!planted && destination.find("\\sub\\") != std::string_view::npos) {
                planted = true;
                std::filesystem::rename(dst("sub"), tmp / ("taken-" + std::to_string(workers)));
                std::filesystem::create_directory_symlink(tmp / "outside", dst("sub"));
            }
        };
        host.lines.clear();
        const RunTotals totals = CopyWalk(platform, host, text::RegionalSettings::finnish(), workers).run(texts);
        platform.beforeCopy = nullptr;
        EXPECT_TRUE(planted);
        EXPECT_EQ(listFolder(tmp / "outside"), "") << workers << " workers: nothing written through the link";
        EXPECT_EQ(totals.copied, 1) << workers;
        EXPECT_GE(totals.failed, 1) << workers << ": said, not passed over";
        EXPECT_THAT(host.lines, ::testing::Contains(std::string("E:\\backup\\a.txt") + kTime));
    }
}

#endif

TEST_F(CopyWalkTest, aDestinationThatGoesAwayStopsTheRunWithOneLine)
{
    // A stick pulled out or a share dropped part-way: every copy after it would fail alike.
    for (int i = 0; i < 40; ++i)
        source("f" + std::to_string(100 + i) + ".txt");
#ifdef _WIN32
    // Windows removes no folder while another worker holds a copy open in it.
    for (const int workers : {1}) {
#else
    for (const int workers : {1, 2}) {
#endif
        std::filesystem::remove_all(dst(""));
        std::filesystem::create_directories(dst(""));
        std::atomic<int> copies = 0;
        platform.beforeCopy = [&](std::string_view) {
            // Another worker may be writing a copy into it meanwhile.
            std::error_code error;
            if (++copies == 3)
                for (int attempt = 0; attempt < 400 && std::filesystem::exists(tmp / "e/backup"); ++attempt) {
                    std::filesystem::remove_all(tmp / "e/backup", error);
                    if (error)  // a file the other worker holds open, which Windows does not remove
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
        };
        host.lines.clear();
        const RunTotals totals = CopyWalk(platform, host, text::RegionalSettings::finnish(), workers).run(texts);
        platform.beforeCopy = nullptr;
        const std::string gone = "E:\\backup\\   VIRHE: kohdekansio ei ole enää käytettävissä, ajo lopetettiin";
        EXPECT_THAT(host.lines, ::testing::Contains(gone)) << workers << " workers";
        // The copies shown before it may be taken back at the flush (they went with the folder),
        // each by its own line; of the others, none has a line.
        const auto failures = std::count_if(host.lines.begin(), host.lines.end(), [](const std::string& l) {
            return l.find("VIRHE") != std::string::npos && l.find("kopioita ei saatu levylle") == std::string::npos;
        });
        EXPECT_EQ(failures, 1) << workers << " workers: one line, not one a file";
        EXPECT_FALSE(totals.aborted) << workers;
        EXPECT_TRUE(totals.notOnDevice) << workers << ": not recorded";
        EXPECT_GE(totals.failed, 1) << workers;
        EXPECT_LE(totals.copied, 1 + workers) << workers << ": those before it, and one on each other worker";
        if (workers == 1) {  // workers may have been handed every copy before the first failed
            EXPECT_LT(copies.load(), 40) << "the run did not go on to the end";
        }
    }
}

#ifndef _WIN32
// POSIX only: on Windows a link or junction is a reparse point, which the folder search leaves out.
TEST_F(CopyWalkTest, symbolicLinksToFoldersAreNotFollowed)
{
    writeFile(tmp / "outside/secret.txt", "s");
    source("a.txt");
    std::filesystem::create_directory_symlink(tmp / "outside", src("link"));
    std::filesystem::create_directory_symlink("..", src("loop"));
    run();
    EXPECT_THAT(host.lines, ElementsAre(std::string("E:\\backup\\a.txt") + kTime));
}
#endif

TEST_F(CopyWalkTest, abortStopsTheWholeRunAfterTheEntryInHand)
{
    source("a.txt");
    source("sub/b.txt");
    source("sub/deeper/c.txt");
    host.onEntry = [this] { host.abort = true; };
    const RunTotals totals = run();
    EXPECT_TRUE(totals.aborted);
    EXPECT_THAT(host.lines, ElementsAre(std::string("E:\\backup\\a.txt") + kTime));
    EXPECT_FALSE(exists(dst("sub")));
}

TEST_F(CopyWalkTest, abortInASubfolderStopsEveryLevelAbove)
{
    source("one/a.txt");
    source("one/b.txt");
    source("two/c.txt");
    host.onEntry = [this] {
        if (host.lines.size() == 1)
            host.abort = true;
    };
    const RunTotals totals = run();
    EXPECT_TRUE(totals.aborted);
    EXPECT_EQ(host.lines.size(), 1u);
    EXPECT_FALSE(exists(dst("two")));
}

TEST_F(CopyWalkTest, editsDuringTheRunDoNotMoveLaterFiles)
{
    source("a/1.txt");
    source("b/2.txt");
    host.onEntry = [this] {
        texts.destination = "E:\\elsewhere";
        texts.exclusions = ".txt";
        texts.source = "D:\\";
    };
    run();
    EXPECT_TRUE(exists(dst("a/1.txt")));
    EXPECT_TRUE(exists(dst("b/2.txt")));
    EXPECT_FALSE(exists(tmp / "e/elsewhere"));
}

#ifndef _WIN32
// POSIX only: Windows's ANSI calls take paths of at most MAX_PATH (260) characters.
TEST_F(CopyWalkTest, longRelativePathsAreNotCut)
{
    std::string rel;
    for (int i = 0; i < 9; ++i)
        rel += std::string(120, static_cast<char>('a' + i)) + "/";
    source(rel + "deep.txt", "deep");
    run();
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_GT(host.lines[0].size(), 1000u);
    EXPECT_EQ(readFile(dst(rel + "deep.txt")), "deep");
}
#endif

TEST_F(CopyWalkTest, aFolderThatCannotBeMadeFailsItsFilesAndTheRunGoesOn)
{
    source("a/1.txt", std::string(5000, '1'));
    source("a/2.txt", std::string(5000, '2'));
    platform.refuseFolders = true;
    const RunTotals totals = run();
    const std::string reason = std::strerror(EACCES);
    EXPECT_THAT(host.lines, ::testing::UnorderedElementsAre(
                                std::string("E:\\backup\\a\\1.txt") + kTime + "   VIRHE: " + reason,
                                std::string("E:\\backup\\a\\2.txt") + kTime + "   VIRHE: " + reason));
    EXPECT_THAT(host.failedFlags, ElementsAre(true, true));
    EXPECT_EQ(totals.copied, 0);
    EXPECT_EQ(totals.failed, 2);
    EXPECT_EQ(totals.kilobytes, 0);
}

TEST_F(CopyWalkTest, aFolderInTheWayOfAFileIsAFailure)
{
    source("name.txt", std::string(3000, 'n'));
    source("other.txt");
    writeFile(dst("name.txt/inside"), "keep");
    const RunTotals totals = run();
    EXPECT_EQ(totals.failed, 1);
    EXPECT_EQ(totals.copied, 1);
    EXPECT_EQ(totals.kilobytes, 0);
#ifdef _WIN32
    // The system's own words: Windows has no "is a directory".
    EXPECT_THAT(host.lines, ::testing::Contains(::testing::StartsWith(std::string("E:\\backup\\name.txt") + kTime
                                                                      + "   VIRHE: ")));
#else
    EXPECT_THAT(host.lines, ::testing::Contains(std::string("E:\\backup\\name.txt") + kTime + "   VIRHE: "
                                                + std::strerror(EISDIR)));
#endif
    EXPECT_EQ(readFile(dst("name.txt/inside")), "keep");
}

#ifndef _WIN32
// POSIX only: the copy is cut off inside the POSIX copy routine; CopyFile cannot be cut off
// from outside, and the Windows copy's safety is that of its temporary file (platform tests).
TEST_F(CopyWalkTest, aCopyFailingHalfWayKeepsThePreviousCopy)
{
    source("doc.txt", "first version");
    run();
    source("doc.txt", std::string(50'000, 'z'), 50);
    source("next.txt");
    platform.halfWayName = "doc.txt";
    host.lines.clear();
    const RunTotals totals = run();
    EXPECT_EQ(readFile(dst("doc.txt")), "first version");
    EXPECT_EQ(listFolder(dst("")), "doc.txt next.txt");
    EXPECT_EQ(totals.failed, 1);
    EXPECT_EQ(totals.copied, 1);
    EXPECT_THAT(host.lines, ::testing::Contains(std::string("E:\\backup\\doc.txt   7.12.2026 11:05:50   VIRHE: ")
                                                + std::strerror(EIO)));

    platform.halfWayName.clear();
    host.lines.clear();
    run();
    EXPECT_EQ(readFile(dst("doc.txt")), std::string(50'000, 'z')) << "the next run tries again";
}

#endif

#ifndef _WIN32
// POSIX only: a Windows name cannot hold a backslash.
TEST_F(CopyWalkTest, aNameHoldingABackslashIsReportedNotCopied)
{
    source("we\\ird.txt");
    source("plain.txt");
    source("line\nbreak.txt");
    std::filesystem::create_directories(src("odd\\dir"));
    const RunTotals totals = run();
    EXPECT_EQ(totals.copied, 2);
    EXPECT_EQ(totals.failed, 2);
    // A control character is shown, so that each file is one line; the copy keeps the name.
    EXPECT_THAT(host.lines, ::testing::Contains(std::string("E:\\backup\\line^Jbreak.txt") + kTime));
    EXPECT_THAT(host.lines, ::testing::Contains(::testing::HasSubstr("we\\ird.txt   7.12.2026 11:05:32   VIRHE: ")));
    EXPECT_THAT(host.lines, ::testing::Contains("E:\\backup\\odd\\dir   VIRHE: nimessä on kenoviiva, sitä ei voi kopioida"));
    EXPECT_EQ(listFolder(dst("")), "line\nbreak.txt plain.txt");
}

#endif

TEST_F(CopyWalkTest, copiesThatDoNotReachTheDeviceAreAFailureAndTheHostHearsOfTheWait)
{
    source("a.txt", std::string(1500, 'a'));
    platform.finishTakes = std::chrono::milliseconds(50);
    platform.deviceFails = true;
    const RunTotals totals = run();
    EXPECT_THAT(host.lines, ElementsAre(std::string("E:\\backup\\a.txt") + kTime,
                                        "E:\\backup\\   VIRHE: kopioita ei saatu levylle: " + std::string(std::strerror(EIO))));
    EXPECT_EQ(totals.failed, 1);
    EXPECT_THAT(host.writingCalls, ElementsAre(true, false)) << "the host hears that the run waits for the device";

    host.lines.clear();
    platform.deviceFails = false;
    EXPECT_EQ(run().copied, 0) << "nothing to copy needs no wait";
    EXPECT_EQ(host.writingCalls.size(), 2u);
}

TEST_F(CopyWalkTest, aMissingSourceCopiesNothing)
{
    texts.source = "D:\\nowhere\\";
    const RunTotals totals = run();
    EXPECT_TRUE(host.lines.empty());
    EXPECT_EQ(totals.copied, 0);
}

TEST_F(CopyWalkTest, aFolderThatCannotBeReadIsAFailure)
{
    source("a.txt");
    source("locked/b.txt");
    platform.unreadable = "D:\\src\\locked\\";
    const RunTotals totals = run();
    EXPECT_THAT(host.lines, ElementsAre(std::string("E:\\backup\\a.txt") + kTime,
                                        "E:\\backup\\locked\\   VIRHE: kansiota ei voi lukea"));
    EXPECT_EQ(totals.failed, 1);
}

// Every file below a folder with its content, as "path=content" lines.
std::string treeOf(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            files.push_back(std::filesystem::relative(e.path(), folder).generic_string() + "=" + readFile(e.path().string()));
    std::sort(files.begin(), files.end());
    std::string all;
    for (const std::string& f : files)
        all += f + "\n";
    return all;
}

TEST_F(CopyWalkTest, severalWorkersGiveTheLogSummaryAndCopiesOfOne)
{
    // Folders in folders, so that workers read the next ones ahead of the walk.
    const auto fileOf = [](int i) {
        return "dir" + std::to_string(i % 7) + (i % 3 ? "/sub" + std::to_string(i % 3) : std::string()) + "/f"
               + std::to_string(i) + ".txt";
    };
    for (int i = 0; i < 400; ++i)
        source(fileOf(i), std::string(1000 + i * 37, 'a' + i % 26));
    // A folder listed a thousand entries at a time, and asked about by workers while the walk goes.
    constexpr int kMany = 1100;
    for (int j = 0; j < kMany; ++j)
        source("dir4/many/m" + std::to_string(j) + ".txt", std::to_string(j));
    source("dir3/big.bin", std::string(3 << 20, 'b'));
    source("in-the-way.txt");
    source("dir2/skipped.bak");
#ifndef _WIN32
    source("we\\ird.txt");
    std::filesystem::create_symlink(tmp / "nowhere", src("dir1/dangling.txt"));
#endif
    struct Row {
        const char* kind;
        int workers;
        bool again;      // a second run, after some sources changed, into the copies of the first
        bool readLongAgo = false;  // each folder or part of one read ahead is too old when the walk comes to it
    };
    const Row rows[] = {
        {"one worker", 1, false},
        {"four workers", 4, false},
        {"eight workers", 8, false},
        {"two workers, every reading too old", 2, false, true},
        {"one worker, a second run", 1, true},
        {"two workers, a second run", 2, true},
        {"eight workers, a second run", 8, true},
        {"two workers, a second run, every reading too old", 2, true, true},
    };
    // Another program at work beside the run, just after the walk (or the workers reading ahead)
    // has the ages of the copies in dir5\late\: a copy made newer, a source file removed.
    const auto changedDuringTheRun = [&](const std::string& root) {
        source("dir5/late/gone.tmp", "a temporary file of another program");
        writeFile(tmp / ("e/" + root + "/dir5/late/doc.txt"), "an older copy");
        setLocalMtime(tmp / ("e/" + root + "/dir5/late/doc.txt"), 2025, 6, 1, 0, 0, 0);
        platform.agesAskedIn = "E:\\" + root + "\\dir5\\late\\";
        platform.onAgesAsked = [this, root] {
            writeFile(tmp / ("e/" + root + "/dir5/late/doc.txt"), "a copy saved meanwhile");
            setLocalMtime(tmp / ("e/" + root + "/dir5/late/doc.txt"), 2027, 1, 1, 0, 0, 0);
            std::filesystem::remove(src("dir5/late/gone.tmp"));
        };
    };
    source("dir5/late/doc.txt", "the source");
    const auto runWith = [&](const Row& row, const std::string& root) {
        RecordingHost recording;
        texts.destination = "E:\\" + root;
        CopyWalk walk(platform, recording, text::RegionalSettings::finnish(), row.workers);
        const RunTotals totals = walk.run(texts);
        std::vector<std::string> lines;
        for (std::string line : recording.lines)
            lines.push_back(line.replace(0, texts.destination.size(), "E:\\X"));
        return std::make_tuple(lines, recording.failedFlags, totals.copied, totals.failed, totals.kilobytes);
    };
    std::map<bool, decltype(runWith(rows[0], ""))> byOne;
    std::map<bool, std::string> treeOfOne;
    for (const Row& row : rows) {
        const std::string root = std::string(row.again ? "again-" : "first-") + std::to_string(row.workers);
        std::filesystem::remove_all(tmp / ("e/" + root));
        for (const char* place : {"in-the-way.txt/x", "dir5/f12.txt"})
            writeFile(tmp / ("e/" + root + "/" + place), "there before");
        setLocalMtime(tmp / ("e/" + root + "/dir5/f12.txt"), 2027, 1, 1, 0, 0, 0);  // newer: kept
        if (row.again) {
            runWith({row.kind, 1, false}, root);
            for (int i = 0; i < 400; i += 9)  // newer sources, to be copied again
                setLocalMtime(src(fileOf(i)), 2026, 12, 8, 9, 0, 0);
            for (int j = 0; j < kMany; j += 97)
                setLocalMtime(src("dir4/many/m" + std::to_string(j) + ".txt"), 2026, 12, 8, 9, 0, 0);
            ASSERT_TRUE(std::filesystem::remove(tmp / ("e/" + root + "/dir6/f6.txt")));  // a copy gone
        }
        changedDuringTheRun(root);
        platform.clockStep = row.readLongAgo ? 1'000'000'000 : 0;
        const auto got = runWith(row, root);
        platform.clockStep = 0;
        platform.agesAskedIn.clear();
        EXPECT_EQ(readFile(tmp / ("e/" + root + "/dir5/late/doc.txt")), "a copy saved meanwhile") << row.kind;
        EXPECT_THAT(std::get<0>(got), ::testing::Not(::testing::Contains(::testing::HasSubstr("late"))))
            << row.kind << ": neither the newer copy nor the file gone is a copy or a failure";
        if (row.again) {
            for (int i = 0; i < 400; i += 9)
                setLocalMtime(src(fileOf(i)), 2026, 12, 7, 11, 5, 32);
            for (int j = 0; j < kMany; j += 97)
                setLocalMtime(src("dir4/many/m" + std::to_string(j) + ".txt"), 2026, 12, 7, 11, 5, 32);
        }
        if (row.workers == 1) {
            byOne[row.again] = got;
            treeOfOne[row.again] = treeOf(tmp / ("e/" + root));
            EXPECT_GE(std::get<3>(got), 1) << row.kind << ": the failures are there to compare";
            EXPECT_EQ(std::get<2>(got), row.again ? 46 + 12 : 400 + kMany) << row.kind;
            continue;
        }
        const auto& one = byOne.at(row.again);
        EXPECT_EQ(std::get<0>(got), std::get<0>(one)) << row.kind << ": the same lines in the same order";
        EXPECT_EQ(std::get<1>(got), std::get<1>(one)) << row.kind;
        EXPECT_EQ(std::get<2>(got), std::get<2>(one)) << row.kind;
        EXPECT_EQ(std::get<3>(got), std::get<3>(one)) << row.kind;
        EXPECT_EQ(std::get<4>(got), std::get<4>(one)) << row.kind;
        EXPECT_EQ(treeOf(tmp / ("e/" + root)), treeOfOne.at(row.again)) << row.kind;
    }
}

TEST_F(CopyWalkTest, aStopInAParallelRunLeavesAsManyCopiesAsLinesAndNothingPartial)
{
    for (int i = 0; i < 3000; ++i)
        source("d" + std::to_string(i % 30) + "/f" + std::to_string(i), std::string(4000 + i % 5000, 'a' + i % 26));
    // Copies are in flight when the stop comes.
    host.onEntry = [&] { host.abort = host.abort || host.lines.size() >= 20; };
    CopyWalk walk(platform, host, text::RegionalSettings::finnish(), 4);
    const RunTotals totals = walk.run(texts);
    EXPECT_TRUE(totals.aborted);
    EXPECT_GT(totals.copied, 0);
    EXPECT_LT(totals.copied, 3000);
    EXPECT_EQ(totals.copied, static_cast<std::int64_t>(host.lines.size()));
    std::int64_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dst(""))) {
        if (!e.is_regular_file())
            continue;
        ++files;
        const std::string rel = std::filesystem::relative(e.path(), dst("")).generic_string();
        EXPECT_EQ(readFile(e.path().string()), readFile(src(rel))) << rel << " is whole";
    }
    EXPECT_EQ(files, totals.copied) << "every file copied has its line, and no other file is there";

    // What was copied is what one worker would have copied had it been stopped there: the first
    // files of the walk, however the workers took them.
    RecordingHost whole;
    const std::size_t stoppedRoot = texts.destination.size();
    texts.destination = "E:\\whole";
    CopyWalk(platform, whole, text::RegionalSettings::finnish(), 1).run(texts);
    ASSERT_GE(whole.lines.size(), host.lines.size());
    for (std::size_t i = 0; i < host.lines.size(); ++i)
        ASSERT_EQ(host.lines[i].substr(stoppedRoot), whole.lines[i].substr(texts.destination.size()))
            << "line " << i << " of the stopped run";
}

TEST_F(CopyWalkTest, aCopyThatFoundTheDeviceFullWhileOthersWereWrittenIsMadeAgainAlone)
{
    // As with one file at a time: the room that another copy's unfinished file held is free again.
    source("a.bin", "slow to write");  // first in the walk: the others start while it is written
    source("small/b.txt", "b");
    source("small/c.txt", "c");
    platform.slowName = "a.bin";
    platform.roomName = "b.txt";
    CopyWalk walk(platform, host, text::RegionalSettings::finnish(), 3);
    const RunTotals totals = walk.run(texts);
    EXPECT_EQ(totals.failed, 0) << (host.lines.empty() ? "" : host.lines.back());
    EXPECT_EQ(totals.copied, 3);
    EXPECT_EQ(readFile(dst("small/b.txt")), "b");
}

TEST_F(CopyWalkTest, aGeneratedTreeIsCopiedExactly)
{
    int files = 0;
    for (int d = 0; d < 60; ++d) {
        const std::string folder = "dir" + std::to_string(d % 12) + "/sub" + std::to_string(d) + "/";
        for (int f = 0; f < 50; ++f, ++files) {
            const std::string name = folder + "file" + std::to_string(f) + (f % 3 ? ".txt" : ".dat");
            writeFile(src(name), std::string(static_cast<std::size_t>(200 + (f * 997 + d * 131) % 16000), static_cast<char>('a' + f % 26)));
            setMtimeSeconds(src(name), 1'600'000'000 + files * 7);
        }
    }
    const RunTotals totals = run();
    EXPECT_EQ(totals.copied, files);
    EXPECT_EQ(totals.failed, 0);
    int checked = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(src(""))) {
        if (!e.is_regular_file())
            continue;
        const std::string rel = std::filesystem::relative(e.path(), src("")).generic_string();
        EXPECT_EQ(readFile(dst(rel)), readFile(e.path().string())) << rel;
        EXPECT_EQ(mtimeNanos(dst(rel)), mtimeNanos(e.path().string())) << rel;
        ++checked;
    }
    EXPECT_EQ(checked, files);
    EXPECT_EQ(listFolder(dst("")), listFolder(src(""))) << "nothing more";
    host.lines.clear();
    EXPECT_EQ(run().copied, 0);
}

TEST(DestinationFolder, joinsTheRootAndThePartBelowTheSourceRoot)
{
    EXPECT_EQ(CopyWalk::destinationFolder("F:\\backup\\", "E:\\src\\docs\\old\\", 7), "F:\\backup\\docs\\old\\");
    EXPECT_EQ(CopyWalk::destinationFolder("F:\\backup", "E:\\src\\", 7), "F:\\backup\\");
    EXPECT_EQ(CopyWalk::destinationFolder("F:\\backup\\", "E:\\src\\a", 7), "F:\\backup\\a\\");
}

}  // namespace
