#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/IniFile.h"
#include "text/DateTime.h"
#include "text/RegionalSettings.h"

// The main window's values in the settings file: the start-up load and the save on close.
namespace sarvoli::settings {

inline constexpr const char* kFormSection = "ZumerForm";
inline constexpr const char* kSourceSection = "FromBox";
inline constexpr const char* kDestinationSection = "ToFolder";

// The keys of the form section, each named once.
namespace key {
inline constexpr const char* kPosition = "fSarvol";
inline constexpr const char* kFromBox = "FromBox";
inline constexpr const char* kToFolder = "ToFolder";
inline constexpr const char* kMask = "File";
inline constexpr const char* kExclusions = "Prev";
inline constexpr const char* kDate = "Date";
inline constexpr const char* kTime = "Time";
inline constexpr const char* kLastFromDir = "FrmDir";
inline constexpr const char* kLastToDir = "ToDir";
inline constexpr const char* kSubfolders = "Subs";
inline constexpr const char* kVerify = "Verify";  // "1": every copy is read back; the window never writes it
inline constexpr const char* kHidden = "Hidden";  // "1": hidden folders are walked too; never written
inline constexpr const char* kVersions = "Versions";  // N: replaced copies kept for N runs; never written
inline constexpr const char* kGuard = "Guard";        // "1": a run that would replace most copies asks first
}  // namespace key

// The mask and the exclusions of a program that has no saved ones.
inline constexpr const char* kDefaultMask = "*.*";
inline constexpr const char* kDefaultExclusions = ".~|.bak";

// The folder of the executable: its path text up to and including the last backslash or colon.
std::string exeFolderOf(std::string_view executablePath);
// The settings file of the program in its folder.
std::string settingsFileIn(std::string_view exeFolder);

// What the start-up load found, step by step. The load stops at the first error; the steps
// after it leave their fields empty.
struct LoadedSettings {
    std::optional<int> top;
    std::optional<int> left;
    std::optional<std::string> fromBox;
    std::optional<std::string> toFolder;
    std::optional<std::vector<std::string>> sourceFolders;
    std::optional<std::vector<std::string>> destinationFolders;
    std::optional<std::string> mask;        // the file mask (key File)
    std::optional<std::string> exclusions;  // the exclusion field (key Prev)
    std::optional<text::DateTimeValue> date;  // the stored picker value; only its date counts
    std::optional<std::string> time;          // the last copy's time: the row is to be shown
    std::optional<bool> subs;
    bool verify = false;    // Verify=1: every copy is read back from the device and compared
    bool hidden = false;    // Hidden=1: hidden folders are walked too
    int versions = 0;       // Versions=N: replaced copies are kept, for the newest N runs
    bool guard = false;     // Guard=1
    // A value of those that cannot be followed, as the user is told; a run does not start on it.
    std::string refusal;
    bool complete = false;  // every step ran
    std::string error;      // the error that stopped the load, as the user sees it
};

// Records a copy run in the histories: the source's entry with the run's date-time text
// `stamp`, and the destination's entry; an empty folder gets none. Throws SettingsWriteError.
void recordRun(IniFile& file, std::string_view source, std::string_view destination, std::string_view stamp);
// Writes what the window shows of a run at its next start (the folders it ran with, the date
// and time of the last copy), for a run made without the window, which saves them itself on
// close. Throws SettingsWriteError.
void saveRunFields(IniFile& file, std::string_view source, std::string_view destination, std::string_view stamp,
                   std::string_view time);

// The number of runs whose kept copies stay, as Versions= or --keep-versions gives it: a
// decimal number of at most six digits; nothing where the text is none.
std::optional<int> keptRunsOf(std::string_view text);

// Reads the window's values; never throws.
LoadedSettings loadSettings(IniFile& file, const text::RegionalSettings& settings, int currentYear);

// What the save writes.
struct WindowState {
    std::string fromBox;
    std::string toFolder;
    std::string mask;        // the file mask (key File)
    std::string exclusions;  // the exclusion field (key Prev)
    text::DateTimeValue pickerValue = 0;
    std::string lastFromDir;
    std::string lastToDir;
    std::optional<std::string> time;  // the time label's text, while the label is shown
    bool subs = true;
    std::optional<int> top;   // the position, while the window is in its normal state
    std::optional<int> left;
};

// Writes the window's values, stopping at the first value that cannot be written (throws
// SettingsWriteError).
void saveSettings(IniFile& file, const WindowState& window, const text::RegionalSettings& settings);

// What the last-copy row shows of a date-time text: its value, and its time of day in the
// long time format, empty at midnight. Throws text::DateTimeError.
struct LastCopy {
    text::DateTimeValue value = 0;
    std::string time;
};
LastCopy lastCopyOf(std::string_view dateTimeText, const text::RegionalSettings& settings, int currentYear);

}  // namespace sarvoli::settings
