#include <gtest/gtest.h>

#include <set>

#include "platform/TemporaryName.h"

using namespace sarvoli::platform;

namespace {

TEST(TemporaryName, onlyAFileThatNobodyWillFinishIsALeftover)
{
    const std::set<std::uint64_t> running = {100, 200};
    const auto isRunning = [&](std::uint64_t pid) { return running.count(pid) > 0; };
    constexpr std::int64_t kOld = kForeignLeftoverSeconds + 1;
    struct Row {
        const char* name;
        std::int64_t secondsSinceTouched;
        bool leftover;
    };
    const Row rows[] = {
        {".sarvoli3-here-300-0.tmp", 0, true},          // this machine, its process gone
        {".sarvoli3-here-100-5.tmp", 0, false},         // this machine, a run going on now
        {".sarvoli3-here-100-5.tmp", kOld, true},       // a number taken again by another process
        {".sarvoli3-there-300-0.tmp", 0, false},        // another machine's run may be writing it
        {".sarvoli3-there-300-0.tmp", 3600, false},
        {".sarvoli3-there-300-0.tmp", kOld, true},
        {".sarvoli3-300-0.tmp", 0, false},              // the form without a machine
        {".sarvoli3-300-0.tmp", kOld, true},
        {".sarvoli3-here-x-0.tmp", kOld, false},        // not a name the program makes
        {".sarvoli3-here-300-.tmp", kOld, false},
        {".sarvoli3-here-300-0.txt", kOld, false},
        {"sarvoli3-here-300-0.tmp", kOld, false},
        {"report.tmp", kOld, false},
        {".sarvoli3-.tmp", kOld, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(isLeftover(r.name, "here", isRunning, r.secondsSinceTouched), r.leftover)
            << r.name << " touched " << r.secondsSinceTouched << " s ago";
    // The names the program makes: the machine's name holds no dash, which parts the name.
    const std::string host = temporaryHostOf("build-box.lan");
    EXPECT_EQ(temporaryFileName(host, 300, 7), ".sarvoli3-build_box.lan-300-7.tmp");
    EXPECT_TRUE(isLeftover(temporaryFileName(host, 300, 7), host, isRunning, 0));
    EXPECT_FALSE(isLeftover(temporaryFileName(temporaryHostOf(""), 100, 0), temporaryHostOf(""), isRunning, 0));
}

}  // namespace
