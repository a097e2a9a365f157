#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#endif

#include "CopyWalkFixture.h"
#include "platform/TemporaryName.h"
#ifndef _WIN32
#include "platform/posix/PosixFiles.h"
#endif

using namespace sarvoli;
using namespace sarvoli::testing;
using ::testing::ElementsAre;

namespace {

// With several workers a copy that takes longer than a turn of the window is still running
// when a Clear comes; the log must still be the one that one file at a time leaves.
TEST_F(CopyWalkTest, aClearDuringALongCopyLeavesTheLogThatOneWorkerLeaves)
{
    source("a-slow.txt");  // the one file of the top folder: the first entry of the run
    source("sub/b.txt");
    source("sub/c.txt");
    platform.slowName = "a-slow.txt";
    const auto logWith = [&](int workers, const char* root) {
        RecordingHost recording;
        recording.onEntry = [&] {
            if (recording.clears == 0)
                recording.clear();  // at the first turn, after the first entry
        };
        texts.destination = std::string("E:\\") + root;
        CopyWalk walk(platform, recording, text::RegionalSettings::finnish(), workers);
        const RunTotals totals = walk.run(texts);
        EXPECT_EQ(totals.copied, 3) << "a line cleared away is a copy all the same";
        std::vector<std::string> lines;
        for (std::string line : recording.lines)
            lines.push_back(line.replace(0, texts.destination.size(), "E:\\X"));
        return lines;
    };
    const std::vector<std::string> one = logWith(1, "one");
    EXPECT_THAT(one, ::testing::UnorderedElementsAre(std::string("E:\\X\\sub\\b.txt") + kTime,
                                                     std::string("E:\\X\\sub\\c.txt") + kTime));
    EXPECT_EQ(logWith(3, "three"), one);
}

// Every entry below a folder with its last-write time, as "path time" lines.
std::string snapshotOf(const std::string& folder)
{
    std::string all;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec); !ec && it != std::filesystem::recursive_directory_iterator();
         it.increment(ec))
        all += std::filesystem::relative(it->path(), folder).generic_string() + " "
               + std::to_string(it->last_write_time(ec).time_since_epoch().count()) + "\n";
    return all;
}

TEST_F(CopyWalkTest, aPreviewGivesTheLinesOfTheRunThatFollowsAndWritesNothing)
{
    source("new.txt", std::string(1500, 'n'));
    source("newer.txt", "the source", 40);
    writeFile(dst("newer.txt"), "an older copy");
    setLocalMtime(dst("newer.txt"), 2026, 12, 7, 11, 5, 32);
    source("older.txt", "the source");
    writeFile(dst("older.txt"), "a newer copy");
    setLocalMtime(dst("older.txt"), 2026, 12, 8, 0, 0, 0);
    source("deep/down/d.txt", std::string(2500, 'd'));  // folders the run would make
    source("locked/l.txt");
    platform.unreadable = "D:\\src\\locked\\";
#ifndef _WIN32
    source("in-the-way.txt");
    writeFile(dst("in-the-way.txt/inside"), "a folder where the copy would go");
    source("we\\ird.txt");
    std::filesystem::create_symlink(tmp / "nowhere", src("dangling.txt"));  // cannot be opened
    source("blocked/b.txt");
    writeFile(dst("blocked"), "a file where the copy's folder would go");
#endif
    const std::string before = snapshotOf(tmp / "e");

    texts.preview = true;
    const RunTotals preview = run();
    const std::vector<std::string> previewLines = host.lines;
    EXPECT_EQ(snapshotOf(tmp / "e"), before) << "no folder made, no file written or touched";

    host.lines.clear();
    texts.preview = false;
    const RunTotals real = run();
    EXPECT_EQ(previewLines, host.lines) << "the preview's lines are the run's";
    EXPECT_EQ(preview.copied, real.copied);
    EXPECT_EQ(preview.failed, real.failed);
    EXPECT_EQ(preview.kilobytes, real.kilobytes);
    EXPECT_EQ(real.copied, 3);
#ifndef _WIN32
    EXPECT_EQ(real.failed, 5);
#endif
    EXPECT_EQ(readFile(dst("newer.txt")), "the source");
}

#ifndef _WIN32

TEST_F(CopyWalkTest, aListingCutOffPartWayIsAFailureWithTheSystemsReason)
{
    source("a.txt");
    for (int i = 0; i < 7; ++i)
        source("dying/f" + std::to_string(i) + ".txt");
    source("dying/inner/g.txt");
    platform.system().brokenFolder = src("dying");
    platform.system().breaksAfter = 4;  // "." and ".." among them
    const RunTotals totals = run();
    ASSERT_FALSE(host.lines.empty());
    EXPECT_EQ(host.lines.back(), "E:\\backup\\dying\\   VIRHE: kansiota ei voi lukea: " + std::string(std::strerror(EIO)));
    EXPECT_EQ(totals.failed, 1);
    EXPECT_LE(totals.copied, 1 + 4) << "no more than the entries listed";
    EXPECT_EQ(readFile(dst("a.txt")), "x");
}

TEST_F(CopyWalkTest, aCopyThatDoesNotReadBackAsItsSourceIsAFailureAndIsCopiedAgain)
{
    source("a.txt", std::string(1500, 'a'));
    // Enough copies before it that the workers and the walk's thread read back some each.
    for (int i = 0; i < 50; ++i)
        source("many/f" + std::to_string(i) + ".txt");
    source("sub/b.txt", std::string(2500, 'b'));
    platform.system().corruptCopy = dst("sub/b.txt");
    texts.verify = true;
    CopyWalk walk(platform, host, text::RegionalSettings::finnish(), 2);
    RunTotals totals = walk.run(texts);
    ASSERT_EQ(host.lines.size(), 53u);
    EXPECT_EQ(host.lines[51], std::string("E:\\backup\\sub\\b.txt") + kTime);
    EXPECT_EQ(host.lines[52], std::string("E:\\backup\\sub\\b.txt") + kTime + "   VIRHE: kopio ei vastaa lähdettä");
    EXPECT_EQ(totals.copied, 51);
    EXPECT_EQ(totals.failed, 1);
    EXPECT_EQ(totals.kilobytes, 1);
    EXPECT_EQ(host.withdrawn, 1);
    EXPECT_LT(mtimeNanos(dst("sub/b.txt")), mtimeNanos(src("sub/b.txt"))) << "left to the next run";

    host.lines.clear();
    platform.system().corruptCopy.clear();
    totals = walk.run(texts);
    EXPECT_THAT(host.lines, ElementsAre(std::string("E:\\backup\\sub\\b.txt") + kTime)) << "copied again, and read back whole";
    EXPECT_EQ(totals.failed, 0);
}

// A process of this machine that has ended: its number is free.
std::uint64_t endedProcess()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return static_cast<std::uint64_t>(child);
}

TEST_F(CopyWalkTest, aRunRemovesWhatAKilledRunLeftAndNothingThatARunGoingOnWrites)
{
    source("docs/a.txt", "new");
    writeFile(dst("docs/a.txt"), "old");
    setMtimeSeconds(dst("docs/a.txt"), 1'600'000'000);
    const TemporaryOwner& self = thisTemporaryOwner();
    const std::string killed = temporaryFileName({self.machine, endedProcess(), self.started}, 3);
    const std::string running = temporaryFileName(self, 99);
    const std::string otherMachine = temporaryFileName({"other.machine", 1, 1}, 0);
    for (const std::string& name : {killed, running, otherMachine, std::string(".sarvoli3-notes.txt")})
        writeFile(dst("docs/" + name), "part of a copy");
    writeFile(dst("untouched/" + killed), "part of a copy");
    run();
    EXPECT_EQ(readFile(dst("docs/a.txt")), "new");
    EXPECT_FALSE(exists(dst("docs/" + killed))) << "its process is gone";
    EXPECT_TRUE(exists(dst("docs/" + running))) << "a run going on now may be writing it";
    EXPECT_TRUE(exists(dst("docs/" + otherMachine))) << "another machine's run may be writing it";
    EXPECT_TRUE(exists(dst("docs/.sarvoli3-notes.txt"))) << "not a name of ours";
    EXPECT_TRUE(exists(dst("untouched/" + killed))) << "only the folders a run writes are looked at";
}

#endif

}  // namespace
