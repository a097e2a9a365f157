#include "settings/WindowSettings.h"

#include <charconv>
#include <stdexcept>

#include "settings/History.h"
#include "text/DateTimeText.h"
#include "text/ExtractFields.h"

namespace sarvoli::settings {

namespace {

// A decimal integer that may have blanks before it, as the window position is stored.
int integerValue(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i + 1 < text.size() && text[i] == '+' && text[i + 1] >= '0' && text[i + 1] <= '9')
        ++i;
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data() + i, end, value);
    if (error != std::errc() || stop != end || i == text.size())
        throw std::runtime_error("'" + text + "' is not a valid integer value");
    return value;
}

// Sets `field` to the stored value when there is one.
void take(IniFile& file, const char* key, std::optional<std::string>& field)
{
    if (std::string value = file.read(kFormSection, key); !value.empty())
        field = std::move(value);
}

}  // namespace

std::string exeFolderOf(std::string_view executablePath)
{
    const std::size_t last = executablePath.find_last_of("\\:");
    return last == std::string_view::npos ? std::string() : std::string(executablePath.substr(0, last + 1));
}

std::optional<int> keptRunsOf(std::string_view text)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return std::stoi(std::string(text));
}

std::string settingsFileIn(std::string_view exeFolder) { return std::string(exeFolder) + "settings.ini"; }

LoadedSettings loadSettings(IniFile& file, const text::RegionalSettings& settings, int currentYear)
{
    LoadedSettings out;
    try {
        if (const std::string position = file.read(kFormSection, key::kPosition); !position.empty()) {
            out.top = integerValue(text::ExtractFields(position, ",", 1, 1));
            out.left = integerValue(text::ExtractFields(position, ",", 2, 1));
        }
        take(file, key::kFromBox, out.fromBox);
        take(file, key::kToFolder, out.toFolder);
        out.sourceFolders = History(file, kSourceSection, History::Kind::Source).folders();
        out.destinationFolders = History(file, kDestinationSection, History::Kind::Destination).folders();
        take(file, key::kMask, out.mask);
        take(file, key::kExclusions, out.exclusions);
        if (const std::string date = file.read(kFormSection, key::kDate); !date.empty())
            out.date = text::parseDateTime(date, settings, currentYear);
        take(file, key::kTime, out.time);
        const std::string subs = file.read(kFormSection, key::kSubfolders);
        if (subs == "1" || subs == "0")
            out.subs = subs == "1";
        out.verify = file.read(kFormSection, key::kVerify) == "1";
        out.hidden = file.read(kFormSection, key::kHidden) == "1";
        out.guard = file.read(kFormSection, key::kGuard) == "1";
        // Kept copies are what a user counts on when a source goes bad: a value that cannot be
        // read must not quietly turn them off.
        if (const std::string versions = file.read(kFormSection, key::kVersions); !versions.empty()) {
            if (const std::optional<int> n = keptRunsOf(versions))
                out.versions = *n;
            else
                out.refusal = "Asetuksen Versions arvo ei ole kelvollinen (0 tai suurempi kokonaisluku): " + versions;
        }
        out.complete = true;
    } catch (const std::exception& e) {
        out.error = e.what();
    }
    return out;
}

void saveSettings(IniFile& file, const WindowState& window, const text::RegionalSettings& settings)
{
    file.write(kFormSection, key::kFromBox, window.fromBox);
    file.write(kFormSection, key::kToFolder, window.toFolder);
    file.write(kFormSection, key::kMask, window.mask);
    file.write(kFormSection, key::kExclusions, window.exclusions);
    file.write(kFormSection, key::kDate, text::formatDateTime(window.pickerValue, settings));
    file.write(kFormSection, key::kLastFromDir, window.lastFromDir);
    file.write(kFormSection, key::kLastToDir, window.lastToDir);
    if (window.time)
        file.write(kFormSection, key::kTime, *window.time);
    file.write(kFormSection, key::kSubfolders, window.subs ? "1" : "0");
    if (window.top && window.left)
        file.write(kFormSection, key::kPosition, std::to_string(*window.top) + "," + std::to_string(*window.left));
}

void recordRun(IniFile& file, std::string_view source, std::string_view destination, std::string_view stamp)
{
    if (!source.empty())
        History(file, kSourceSection, History::Kind::Source).record(source, History::sourceEntry(source, stamp));
    if (!destination.empty())
        History(file, kDestinationSection, History::Kind::Destination).record(destination, destination);
}

void saveRunFields(IniFile& file, std::string_view source, std::string_view destination, std::string_view stamp,
                   std::string_view time)
{
    file.write(kFormSection, key::kFromBox, source);
    file.write(kFormSection, key::kToFolder, destination);
    file.write(kFormSection, key::kDate, stamp);
    file.write(kFormSection, key::kTime, time);
    file.write(kFormSection, key::kLastFromDir, source);
    file.write(kFormSection, key::kLastToDir, destination);
}

LastCopy lastCopyOf(std::string_view dateTimeText, const text::RegionalSettings& settings, int currentYear)
{
    LastCopy row;
    row.value = text::parseDateTime(dateTimeText, settings, currentYear);
    const text::CalendarDateTime dt = text::decodeDateTime(row.value);
    if (dt.hour != 0 || dt.minute != 0 || dt.second != 0)
        row.time = text::formatTime(row.value, settings);
    return row;
}

}  // namespace sarvoli::settings
