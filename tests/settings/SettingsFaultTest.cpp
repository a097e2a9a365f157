#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <utility>

#include "FailingPlatform.h"
#include "TempDir.h"
#include "settings/History.h"
#include "settings/IniText.h"
#include "settings/WindowSettings.h"

using namespace sarvoli;
using namespace sarvoli::settings;
using namespace sarvoli::testing;

namespace {

const char* kOld = "[FromBox]\r\n0=D:\\a\\_1.1.2026\r\n1=D:\\b\\_2.1.2026\r\n[ToFolder]\r\n0=E:\\x\r\n"
                   "[ZumerForm]\r\nFromBox=D:\\a\\\r\nFile=*.*\r\nSubs=1\r\n";

// What a recorded run and a close write, one value at a time, as the window does them.
void recordAndSave(IniFile& file)
{
    History(file, kSourceSection, History::Kind::Source).record("D:\\new\\", "D:\\new\\_8.12.2026 10:00:00");
    History(file, kDestinationSection, History::Kind::Destination).record("E:\\y", "E:\\y");
    History(file, kSourceSection, History::Kind::Source).record("D:\\b\\", "D:\\b\\_8.12.2026 10:00:00");
    WindowState state;
    state.fromBox = "D:\\new\\";
    state.toFolder = "E:\\y";
    state.mask = "*.txt";
    state.subs = false;
    saveSettings(file, state, text::RegionalSettings::finnish());
}

using Values = std::map<std::pair<std::string, std::string>, std::string>;

Values valuesOf(const std::string& text)
{
    Values values;
    for (const char* section : {kSourceSection, kDestinationSection, kFormSection})
        for (const char* key : {"0", "1", "2", "3", "FromBox", "ToFolder", "File", "Prev", "Date", "FrmDir", "ToDir",
                                "Time", "Subs", "fSarvol"})
            values[{section, key}] = iniValue(text, section, key);
    return values;
}

TEST(SettingsFaults, aFailureAtAnyCallLeavesEachValueOldOrNewAndNoEntryOverAnother)
{
    Values expectedNew;
    {
        TempDir tmp;
        writeFile(tmp / "settings.ini", kOld);
        FailingPlatform platform(drivesPlatform({{'P', tmp.path()}}));
        IniFile file(platform, "P:\\settings.ini");
        recordAndSave(file);
        expectedNew = valuesOf(readFile(tmp / "settings.ini"));
    }
    ASSERT_EQ(expectedNew[std::make_pair(std::string(kSourceSection), std::string("2"))], "D:\\new\\_8.12.2026 10:00:00");
    const Values old = valuesOf(kOld);

    std::string problems;
    for (const Operation operation : {Operation::ReadFile, Operation::ReplaceFile}) {
        const char* name = operation == Operation::ReadFile ? "read" : "write";
        int calls = 0;
        {
            TempDir tmp;
            writeFile(tmp / "settings.ini", kOld);
            FailingPlatform platform(drivesPlatform({{'P', tmp.path()}}));
            IniFile file(platform, "P:\\settings.ini");
            platform.failAt(operation, 0);
            recordAndSave(file);
            calls = platform.calls(operation);
        }
        for (int nth = 1; nth <= calls; ++nth) {
            TempDir tmp;
            writeFile(tmp / "settings.ini", kOld);
            FailingPlatform platform(drivesPlatform({{'P', tmp.path()}}));
            IniFile file(platform, "P:\\settings.ini");
            platform.failAt(operation, nth);
            try {
                recordAndSave(file);
            } catch (const SettingsWriteError& e) {
                if (std::string(e.what()) != "Unable to write to P:\\settings.ini")
                    problems += std::string(name) + " " + std::to_string(nth) + ": the error says " + e.what() + "\n";
            }
            const Values now = valuesOf(readFile(tmp / "settings.ini"));
            for (const auto& [where, value] : now)
                if (value != old.at(where) && value != expectedNew.at(where))
                    problems += std::string(name) + " " + std::to_string(nth) + ": [" + where.first + "] " + where.second
                                + " holds '" + value + "'\n";
            if (listFolder(tmp.path()) != "settings.ini")
                problems += std::string(name) + " " + std::to_string(nth) + ": left " + listFolder(tmp.path()) + "\n";

            platform.failAt(operation, 0);
            recordAndSave(file);
            if (valuesOf(readFile(tmp / "settings.ini")) != expectedNew)
                problems += std::string(name) + " " + std::to_string(nth) + ": trying again did not mend it\n";
        }
        EXPECT_GT(calls, 5) << name;
    }
    EXPECT_EQ(problems, "");
}

}  // namespace
