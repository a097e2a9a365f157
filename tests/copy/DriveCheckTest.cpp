#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "TempDir.h"
#include "DrivesPlatform.h"
#include "copy/DriveCheck.h"

using namespace sarvoli::copy;
using namespace sarvoli::platform;
using sarvoli::testing::ForwardingPlatform;
using sarvoli::testing::TempDir;
using sarvoli::testing::TestDrive;

namespace {

// Records the error modes set and can report any type for any root, or fail the size query.
class ObservedPlatform : public ForwardingPlatform {
public:
    explicit ObservedPlatform(const std::vector<TestDrive>& drives)
        : ForwardingPlatform(sarvoli::testing::drivesPlatform(drives))
    {
    }

    int driveType(std::string_view root) override
    {
        roots.emplace_back(root);
        return forcedType >= 0 ? forcedType : ForwardingPlatform::driveType(root);
    }
    std::int64_t diskSize(int driveNumber) override
    {
        sizeQueries.push_back(driveNumber);
        modeDuringQuery = currentMode;
        if (throwOnSize)
            throw std::runtime_error("device error");
        return ForwardingPlatform::diskSize(driveNumber);
    }
    unsigned setErrorMode(unsigned mode) override
    {
        const unsigned previous = currentMode;
        currentMode = mode;
        return previous;
    }

    int forcedType = -1;
    bool throwOnSize = false;
    unsigned currentMode = 0x8000;
    unsigned modeDuringQuery = 0;
    std::vector<std::string> roots;
    std::vector<int> sizeQueries;
};

class DriveCheckTest : public ::testing::Test {
protected:
    DriveCheckTest()
        : platform({{'C', tmp.path(), DriveFixed},     {'D', tmp.path(), DriveRemovable},
                    {'E', tmp.path(), DriveRemovable, false}, {'F', tmp.path(), DriveRemote},
                    {'G', tmp.path(), DriveCdRom, false},     {'H', tmp.path(), DriveCdRom},
                    {'R', tmp.path(), DriveRamDisk},          {'U', tmp.path(), DriveUnknown},
                    {'W', tmp.path(), 7}})
    {
    }

    TempDir tmp;
    ObservedPlatform platform;
};

TEST_F(DriveCheckTest, answersByDriveTypeAndMedium)
{
    struct Row {
        char letter;
        bool available;
        bool noMedium;
        bool asksForSize;
    };
    const Row rows[] = {
        {'C', true, false, false},  {'D', true, false, true},  {'E', false, true, true},
        {'F', true, false, false},  {'G', false, true, true},  {'H', true, false, true},
        {'R', true, false, false},  {'U', false, false, false}, {'W', false, false, false},
        {'Q', false, false, false}, {'\\', false, false, false}, {'1', false, false, false},
    };
    for (const Row& r : rows) {
        for (char letter : {r.letter, static_cast<char>(std::tolower(static_cast<unsigned char>(r.letter)))}) {
            platform.sizeQueries.clear();
            bool noMedium = !r.noMedium;
            EXPECT_EQ(DriveAvailable(platform, letter, noMedium), r.available) << letter;
            EXPECT_EQ(noMedium, r.noMedium) << letter;
            EXPECT_EQ(!platform.sizeQueries.empty(), r.asksForSize) << letter;
        }
    }
}

TEST_F(DriveCheckTest, asksTheUpperCaseRootPath)
{
    bool noMedium = false;
    DriveAvailable(platform, 'e', noMedium);
    ASSERT_EQ(platform.roots.size(), 1u);
    EXPECT_EQ(platform.roots[0], "E:\\");
    EXPECT_EQ(platform.sizeQueries, std::vector<int>{5});
}

TEST_F(DriveCheckTest, mediumTestSuppressesSystemPromptsAndRestoresTheMode)
{
    EXPECT_TRUE(DiskInDrive(platform, 'd'));
    EXPECT_EQ(platform.modeDuringQuery, kFailCriticalErrors);
    EXPECT_EQ(platform.currentMode, 0x8000u);

    EXPECT_FALSE(DiskInDrive(platform, 'E'));
    EXPECT_EQ(platform.currentMode, 0x8000u);

    platform.throwOnSize = true;
    EXPECT_THROW(DiskInDrive(platform, 'D'), std::runtime_error);
    EXPECT_EQ(platform.currentMode, 0x8000u) << "restored also when the query fails";
}

TEST_F(DriveCheckTest, aNonLetterOnARemovableTypeIsAnError)
{
    platform.forcedType = DriveRemovable;
    bool noMedium = false;
    try {
        DriveAvailable(platform, '\\', noMedium);
        FAIL() << "no error";
    } catch (const DriveLetterError& e) {
        EXPECT_STREQ(e.what(), "Ei kelvollinen asematunnus");
    }
    EXPECT_TRUE(platform.sizeQueries.empty());
    EXPECT_EQ(platform.currentMode, 0x8000u) << "the error comes before the mode is touched";
    platform.forcedType = DriveCdRom;
    EXPECT_THROW(DriveAvailable(platform, '5', noMedium), DriveLetterError);
    EXPECT_THROW(DiskInDrive(platform, '\xC3'), DriveLetterError);
}

}  // namespace
