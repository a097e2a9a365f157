#include <gtest/gtest.h>

#include "settings/WindowSettings.h"
#include "text/DateTimeText.h"

using namespace sarvoli::settings;
using sarvoli::text::RegionalSettings;

namespace {

TEST(WindowSettings, theLastCopysTimeIsTheTimeOfDayEvenWhereTheDateHoldsBlanks)
{
    const RegionalSettings finnish = RegionalSettings::finnish();
    const RegionalSettings korean{"yyyy. M. d.", "AP h시 m분 s초", ".", ":"};
    struct Row {
        const RegionalSettings* settings;
        const char* text;
        const char* time;
    };
    const Row rows[] = {
        {&finnish, "7.12.2026 11:06:34", "11:06:34"},
        {&finnish, "7.12.2026", ""},
        {&korean, "2026. 12. 7. AM 11시 6분 34초", "AM 11시 6분 34초"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(lastCopyOf(r.text, *r.settings, 2026).time, r.time) << r.text;
    EXPECT_THROW(lastCopyOf("", finnish, 2026), sarvoli::text::DateTimeError) << "an entry without a date";
}

TEST(WindowSettings, theSettingsFileLivesBesideTheExecutable)
{
    EXPECT_EQ(exeFolderOf("Z:\\opt\\sarvoli3\\sarvoli3"), "Z:\\opt\\sarvoli3\\");
    EXPECT_EQ(exeFolderOf("C:sarvoli3.exe"), "C:");
    EXPECT_EQ(settingsFileIn("Z:\\opt\\"), "Z:\\opt\\settings.ini");
}

}  // namespace
