#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "platform/TemporaryName.h"

using namespace sarvoli::platform;

namespace {

TEST(TemporaryName, onlyAFileThatNobodyWillFinishIsALeftover)
{
    // Processes of this machine's PID namespace that run now, with their starts.
    const std::set<std::pair<std::uint64_t, std::uint64_t>> running = {{100, 7}, {200, 9}};
    const OwnerRunning isRunning = [&](std::uint64_t pid, std::uint64_t started) {
        return running.count({pid, started}) > 0;
    };
    const TemporaryOwner here{"boot.4", 100, 7};
    constexpr std::int64_t kOld = kForeignLeftoverSeconds + 1;
    struct Row {
        const char* name;
        std::int64_t secondsSinceTouched;
        bool leftover;
    };
    const Row rows[] = {
        {".sarvoli3-boot.4-300-5-0.tmp", 0, true},     // this machine, its process gone
        {".sarvoli3-boot.4-100-7-5.tmp", 0, false},    // this machine, a run going on now
        {".sarvoli3-boot.4-100-6-5.tmp", 0, true},     // its number taken again by another process
        {".sarvoli3-boot.4-100-7-5.tmp", kOld, true},  // nothing runs that long
        {".sarvoli3-boot.5-300-5-0.tmp", 0, false},    // another PID namespace (a container, Flatpak)
        {".sarvoli3-boot.5-300-5-0.tmp", kOld, true},
        {".sarvoli3-other.4-300-5-0.tmp", 3600, false},  // another machine's run may be writing it
        {".sarvoli3-other.4-300-5-0.tmp", kOld, true},
        {".sarvoli3-_-300-5-0.tmp", 0, false},  // a run that could not tell its machine
        {".sarvoli3-boot-300-0.tmp", 0, false},  // the earlier form with a host name tells no namespace
        {".sarvoli3-boot-300-0.tmp", kOld, true},
        {".sarvoli3-300-0.tmp", 0, false},  // the form without a machine
        {".sarvoli3-300-0.tmp", kOld, true},
        // Names that only look like ours, however old: a user's own files.
        {".sarvoli3-pc-12-notes.tmp", kOld, false},
        {".sarvoli3-boot.4-0300-5-0.tmp", kOld, false},
        {".sarvoli3-boot.4-300-5-0-1.tmp", kOld, false},
        {".sarvoli3-bo ot.4-300-5-0.tmp", kOld, false},
        {".sarvoli3-boot.4-300-5-.tmp", kOld, false},
        {".sarvoli3-here-x-0.tmp", kOld, false},
        {".sarvoli3-boot.4-300-5-0.txt", kOld, false},
        {"sarvoli3-boot.4-300-5-0.tmp", kOld, false},
        {"report.tmp", kOld, false},
        {".sarvoli3-.tmp", kOld, false},
        {".sarvoli3.tmp", kOld, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(isLeftover(r.name, here, isRunning, r.secondsSinceTouched), r.leftover)
            << r.name << " touched " << r.secondsSinceTouched << " s ago";
    // The names the program makes: a machine's name holds no dash, which parts the name.
    const TemporaryOwner box{temporaryMachineOf("build-box.lan"), 300, 5};
    EXPECT_EQ(temporaryFileName(box, 7), ".sarvoli3-build_box.lan-300-5-7.tmp");
    EXPECT_TRUE(isLeftover(temporaryFileName(box, 7), box, isRunning, 0));
    EXPECT_FALSE(isLeftover(temporaryFileName(here, 0), here, isRunning, 0));
    EXPECT_FALSE(isLeftover(temporaryFileName({"", 300, 5}, 0), {"", 100, 7}, isRunning, 0)) << "no machine told";
}

}  // namespace
