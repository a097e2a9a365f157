#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "FailingPlatform.h"
#include "RecordingHost.h"
#include "TempDir.h"
#include "copy/CopyWalk.h"

using namespace sarvoli;
using namespace sarvoli::testing;

namespace {

struct Copy {
    const char* path;       // below the source and the destination root
    const char* source;     // the source's content
    const char* old;        // what the destination held before the run; nullptr: nothing
    int oldSecond;          // the old copy's time: 20 older, 40 the same, 50 newer
};

const Copy kTree[] = {
    {"a.txt", "a new", nullptr, 0},
    {"b.txt", "b new", "b old", 20},
    {"c.txt", "c same", "c same", 40},
    {"sub/d.txt", "d new", nullptr, 0},
    {"sub/deeper/e.txt", "e new", "e old", 20},
    {"sub/f.txt", "f source", "f edited copy", 50},
    {"sub/d2.txt", "d2 new", nullptr, 0},  // new files and newer copies mixed, in any order
    {"sub/f2.txt", "f2 source", "f2 edited copy", 50},
    {"sub/d3.txt", "d3 new", nullptr, 0},
    {"sub/f3.txt", "f3 source", "f3 edited copy", 50},
    {"new/g.txt", "g new", nullptr, 0},
};

void prepare(const TempDir& tmp)
{
    for (const Copy& c : kTree) {
        writeFile(tmp / (std::string("d/src/") + c.path), c.source);
        setLocalMtime(tmp / (std::string("d/src/") + c.path), 2026, 12, 7, 11, 5, 40);
        if (c.old) {
            writeFile(tmp / (std::string("e/dst/") + c.path), c.old);
            setLocalMtime(tmp / (std::string("e/dst/") + c.path), 2026, 12, 7, 11, 5, c.oldSecond);
        }
    }
    std::filesystem::create_directories(tmp / "e/dst");
}

copy::RunTotals run(platform::Platform& platform, RecordingHost& host, int workers = 1)
{
    copy::CopyWalk walk(platform, host, text::RegionalSettings::finnish(), workers);
    return walk.run({"D:\\src\\", "E:\\dst", "*.*", "", true});
}

std::unique_ptr<FailingPlatform> platformOn(const TempDir& tmp)
{
    return std::make_unique<FailingPlatform>(drivesPlatform({{'D', tmp / "d"}, {'E', tmp / "e"}}));
}

// What is wrong with the destination after a run: a copy that is neither the old one nor the
// new one, a file that should not be there, a failure line without its reason.
std::string faultsAfter(const TempDir& tmp, const RecordingHost& host, const copy::RunTotals& totals)
{
    std::string faults;
    std::map<std::string, const Copy*> expected;
    for (const Copy& c : kTree)
        expected[c.path] = &c;
    for (const auto& e : std::filesystem::recursive_directory_iterator(tmp / "e/dst")) {
        if (!e.is_regular_file())
            continue;
        const std::string rel = std::filesystem::relative(e.path(), tmp / "e/dst").generic_string();
        const auto it = expected.find(rel);
        if (it == expected.end()) {
            faults += "stray file " + rel + "; ";
            continue;
        }
        const std::string content = readFile(e.path().string());
        const bool isOld = it->second->old && content == it->second->old;
        if (!isOld && content != it->second->source)
            faults += rel + " holds '" + content + "'; ";
        if (it->second->oldSecond == 50 && !isOld)
            faults += "a newer copy was replaced; ";
    }
    int failureLines = 0;
    for (const std::string& line : host.lines) {
        if (line.find("   VIRHE: ") == std::string::npos)
            continue;
        ++failureLines;
        if (!line.ends_with(kInjectedReason) && !line.ends_with("kansiota ei voi lukea"))
            faults += "a failure without its reason: " + line + "; ";
    }
    if (failureLines != totals.failed)
        faults += "failures counted apart from their lines; ";
    return faults;
}

TEST(WalkFaults, aFailureAtAnyCallLeavesEveryCopyOldOrNewAndTheNextRunMendsIt)
{
    const struct {
        Operation operation;
        const char* name;
    } operations[] = {
        {Operation::FindFirst, "search"},        {Operation::FileAge, "file age"},
        {Operation::DirectoryExists, "folder test"}, {Operation::ForceDirectories, "folder creation"},
        {Operation::CopyFile, "copy"},           {Operation::FolderId, "folder identity"},
    };
    std::string problems;
    // With workers the folders are read ahead of the walk, on other threads, in another order.
    for (const int workers : {1, 3})
    for (const auto& op : operations) {
        int calls = 0;
        {
            TempDir tmp;
            prepare(tmp);
            auto platform = platformOn(tmp);
            RecordingHost host;
            platform->failAt(op.operation, 0);
            run(*platform, host, workers);
            calls = platform->calls(op.operation);
        }
        EXPECT_GT(calls, 0) << op.name;
        for (int nth = 1; nth <= calls; ++nth) {
            TempDir tmp;
            prepare(tmp);
            auto platform = platformOn(tmp);
            RecordingHost host;
            platform->failAt(op.operation, nth);
            const copy::RunTotals totals = run(*platform, host, workers);
            const std::string where = std::to_string(workers) + " workers, " + op.name + " call "
                                      + std::to_string(nth) + ": ";
            if (const std::string faults = faultsAfter(tmp, host, totals); !faults.empty())
                problems += where + faults + "\n";

            platform->failAt(op.operation, 0);
            RecordingHost again;
            run(*platform, again);
            for (const Copy& c : kTree) {
                const std::string want = c.oldSecond == 50 ? c.old : c.source;
                if (readFile(tmp / (std::string("e/dst/") + c.path)) != want)
                    problems += where + "the next run left " + c.path + " behind\n";
            }
        }
    }
    EXPECT_EQ(problems, "");
}

TEST(WalkFaults, aFirstCopyAsksNothingAboutTheFoldersItMadeItself)
{
    // On a network each question is a round trip: a tree that the run made holds no copy yet.
    TempDir tmp;
    for (const char* path : {"a.txt", "x/b.txt", "x/y/c.txt", "x/y/z/d.txt", "w/e.txt"})
        writeFile(tmp / (std::string("d/src/") + path), path);
    std::filesystem::create_directories(tmp / "e");
    auto platform = platformOn(tmp);
    platform->failAt(Operation::FileAge, 0);
    RecordingHost host;
    EXPECT_EQ(run(*platform, host).copied, 5);
    EXPECT_EQ(platform->calls(Operation::FileAge), 1) << "the first file's, before its folder was made";
    EXPECT_EQ(platform->calls(Operation::DirectoryExists), 1);
    EXPECT_EQ(platform->calls(Operation::ForceDirectories), 5);

    RecordingHost again;  // the next run finds every copy and copies nothing
    platform->failAt(Operation::FileAge, 0);
    EXPECT_EQ(run(*platform, again).copied, 0);
    EXPECT_EQ(platform->calls(Operation::FileAge), 5);
}

}  // namespace
