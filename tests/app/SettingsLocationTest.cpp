#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "TempDir.h"
#include "app/SettingsLocation.h"

using namespace sarvoli::testing;
using sarvoli::app::settingsFileFor;

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

}  // namespace
