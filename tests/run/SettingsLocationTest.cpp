#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "MemoryDisk.h"
#include "TempDir.h"
#include "run/SettingsLocation.h"

using namespace sarvoli::testing;
using sarvoli::run::settingsFileFor;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

TEST(SettingsLocation, portableBesideTheProgramInstalledOrReadOnlyInTheConfigurationFolder)
{
    TempDir tmp;
    writeFile(tmp / "portable/sarvoli3", "");
    writeFile(tmp / "inst/bin/sarvoli3", "");
    writeFile(tmp / "inst/share/applications/sarvoli3.desktop", "");
    writeFile(tmp / "readonly/sarvoli3", "");
    chmod((tmp / "readonly").c_str(), 0555);
    // Root writes in any folder whatever its bits; /proc takes no new file from anyone.
    const std::string readOnly = geteuid() == 0 ? "/proc" : tmp / "readonly";
    const std::string config = tmp / "home/.config/Sarvoli3";

    EXPECT_EQ(settingsFileFor(q(tmp / "portable"), q(config)), q(tmp / "portable/settings.ini"));
    EXPECT_FALSE(exists(config)) << "a portable copy makes no configuration folder";
    EXPECT_EQ(settingsFileFor(q(tmp / "inst/bin"), q(config)), q(config + "/settings.ini"));
    EXPECT_TRUE(isDirectory(config));
    EXPECT_EQ(settingsFileFor(q(readOnly), q(config)), q(config + "/settings.ini"));
    EXPECT_EQ(listFolder(tmp / "portable"), "sarvoli3") << "the probe leaves nothing";
    chmod((tmp / "readonly").c_str(), 0755);
}

TEST(SettingsLocation, aReadOnlyCopysSettingsAreWhereTheConfigurationFolderStarts)
{
    TempDir tmp;
    const std::string folder = tmp / "cd";
    const std::string fields = "[ZumerForm]\r\nFromBox=D:\\Kuvat\\\r\n";
    writeFile(folder + "/sarvoli3", "");
    // Root writes in any folder whatever its bits: a file system mounted read-only then.
    std::optional<MemoryDisk> disk;
    if (geteuid() == 0) {
        disk.emplace(folder, "1m");
        ASSERT_TRUE(disk->mounted()) << disk->whyNot();
    }
    writeFile(folder + "/settings.ini", fields);
    chmod((folder + "/settings.ini").c_str(), 0444);
    if (disk)
        ASSERT_TRUE(disk->remountReadOnly());
    else
        chmod(folder.c_str(), 0555);
    const std::string config = tmp / "home/.config/Sarvoli3";

    EXPECT_EQ(settingsFileFor(q(folder), q(config)), q(config + "/settings.ini"));
    EXPECT_EQ(readFile(config + "/settings.ini"), fields);
    struct stat st {};
    stat((config + "/settings.ini").c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IWUSR) << "the copy can be saved to: the read-only bit stays behind";
    writeFile(config + "/settings.ini", "saved since");
    settingsFileFor(q(folder), q(config));
    EXPECT_EQ(readFile(config + "/settings.ini"), "saved since") << "taken once, not again at each start";

    if (!disk)
        chmod(folder.c_str(), 0755);
}

}  // namespace
