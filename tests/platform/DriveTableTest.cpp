#include <gtest/gtest.h>

#include "platform/DriveTable.h"

using namespace sarvoli::platform;

namespace {

DriveTable testTable()
{
    DriveTable t = DriveTable::standard();
    t.set('D', Drive{"/tmp/dee", DriveFixed, true});
    t.set('E', Drive{"/tmp/dee/inner/", DriveRemovable, true});
    t.set('F', Drive{"/tmp/card", DriveRemovable, false});
    return t;
}

TEST(DriveTable, mapsPathTextsToHostPaths)
{
    const DriveTable t = testTable();
    const std::pair<const char*, const char*> rows[] = {
        {"Z:\\home\\user\\docs\\", "/home/user/docs/"},
        {"z:\\home\\a.txt", "/home/a.txt"},
        {"Z:", "/"},
        {"Z:\\", "/"},
        {"Z:\\a\\.\\b\\", "/a/b/"},
        {"Z:\\a\\..\\..\\b", "/b"},
        {"D:\\x\\y.txt", "/tmp/dee/x/y.txt"},
        {"D:\\", "/tmp/dee/"},
        {"d:\\..\\escape", "/tmp/dee/escape"},
        {"E:\\a", "/tmp/dee/inner/a"},
        {"Z:/home/mixed\\slashes", "/home/mixed/slashes"},
    };
    for (const auto& [text, host] : rows) {
        const auto mapped = t.hostPath(text);
        ASSERT_TRUE(mapped.has_value()) << text;
        EXPECT_EQ(*mapped, host) << text;
    }
}

TEST(DriveTable, refusesTextsThatNameNoUsableDrive)
{
    const DriveTable t = testTable();
    for (const char* text : {"Y:\\x", "\\\\server\\share", "Zx", "Z:x", "", "\\", "1:\\a", "F:\\a"})
        EXPECT_FALSE(t.hostPath(text).has_value()) << text;
}

TEST(DriveTable, writesHostPathsOnTheClosestDrive)
{
    const DriveTable t = testTable();
    EXPECT_EQ(t.pathText("/home/user"), "Z:\\home\\user");
    EXPECT_EQ(t.pathText("/"), "Z:\\");
    EXPECT_EQ(t.pathText("/tmp/dee/x/"), "D:\\x\\");
    EXPECT_EQ(t.pathText("/tmp/dee"), "D:\\");
    EXPECT_EQ(t.pathText("/tmp/deer"), "Z:\\tmp\\deer");
    EXPECT_EQ(t.pathText("/tmp/dee/inner/k"), "E:\\k");
    EXPECT_FALSE(t.pathText("/a\\b").has_value());
    EXPECT_FALSE(t.pathText("relative").has_value());
}

TEST(DriveTable, lettersInEitherCaseFindTheSameDrive)
{
    const DriveTable t = testTable();
    ASSERT_NE(t.find('d'), nullptr);
    EXPECT_EQ(t.find('d'), t.find('D'));
    EXPECT_EQ(t.find('Q'), nullptr);
    EXPECT_EQ(t.find('\\'), nullptr);
}

}  // namespace
