#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>

#include "TempDir.h"
#include "DrivesPlatform.h"
#include "settings/IniFile.h"

using namespace sarvoli::settings;
using namespace sarvoli::testing;

namespace {

void setReadOnly(const std::string& path, bool readOnly)
{
    std::filesystem::permissions(path, std::filesystem::perms::owner_write | std::filesystem::perms::group_write
                                           | std::filesystem::perms::others_write,
                                 readOnly ? std::filesystem::perm_options::remove : std::filesystem::perm_options::add);
}

class IniFileTest : public ::testing::Test {
protected:
    std::string writeError(IniFile& file)
    {
        try {
            file.write("S", "k", "new");
        } catch (const SettingsWriteError& e) {
            return e.what();
        }
        return "written";
    }

    TempDir tmp;
    std::unique_ptr<sarvoli::platform::Platform> platform = drivesPlatform({{'D', tmp.path()}});
    IniFile ini{*platform, "D:\\settings.ini"};
};

TEST_F(IniFileTest, writesReadsAndRemovesThroughTheFile)
{
    EXPECT_EQ(ini.read("S", "k"), "");
    ini.write("S", "k", "v");
    ini.write("S", "n", "1");
    EXPECT_EQ(ini.read("s", "K"), "v");
    ini.remove("S", "k");
    EXPECT_EQ(readFile(tmp / "settings.ini"), "[S]\r\nn=1\r\n");
    EXPECT_EQ(listFolder(tmp.path()), "settings.ini") << "no temporary file is left";
}

TEST_F(IniFileTest, aFileThatCannotBeWrittenIsLeftAsItWas)
{
    writeFile(tmp / "settings.ini", "[S]\r\nk=old\r\n");
    setReadOnly(tmp / "settings.ini", true);
    EXPECT_EQ(writeError(ini), "Unable to write to D:\\settings.ini");
    EXPECT_EQ(ini.read("S", "k"), "old");
    setReadOnly(tmp / "settings.ini", false);

    IniFile missingFolder(*platform, "D:\\nothere\\settings.ini");
    EXPECT_EQ(writeError(missingFolder), "Unable to write to D:\\nothere\\settings.ini");
}

#ifndef _WIN32
// POSIX only: the file size limit stands in for a disk that fills up half-way.
TEST_F(IniFileTest, aWriteCutOffHalfWayLeavesTheOldFile)
{
    // A write cut off half-way by a full disk (here a file size limit) leaves the old file.
    writeFile(tmp / "settings.ini", "[S]\r\nk=old\r\n" + std::string(1000, ';') + "\r\n");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 500;
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string error = writeError(ini);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(error, "Unable to write to D:\\settings.ini");
    EXPECT_EQ(ini.read("S", "k"), "old");
    EXPECT_EQ(listFolder(tmp.path()), "settings.ini");
}
#endif

TEST_F(IniFileTest, aFileThatCannotBeReadIsNotReplaced)
{
    std::filesystem::create_directories(tmp / "settings.ini");  // a folder in the way reads as no file
    EXPECT_EQ(writeError(ini), "Unable to write to D:\\settings.ini");
    EXPECT_TRUE(isDirectory(tmp / "settings.ini"));
}

#ifndef _WIN32
// POSIX only: on Windows a settings file that is a symbolic link is replaced by a file.
TEST_F(IniFileTest, writesThroughALinkToTheFileItNames)
{
    writeFile(tmp / "real.ini", "[S]\r\nk=old\r\n");
    std::filesystem::create_symlink(tmp / "real.ini", tmp / "settings.ini");
    ini.write("S", "k", "new");
    EXPECT_TRUE(std::filesystem::is_symlink(tmp / "settings.ini"));
    EXPECT_EQ(readFile(tmp / "real.ini"), "[S]\r\nk=new\r\n");
}

#endif

}  // namespace
