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

std::string settingsFileIn(std::string_view exeFolder) { return std::string(exeFolder) + "settings.ini"; }

LoadedSettings loadSettings(IniFile& file, const text::RegionalSettings& settings, int currentYear)
{
    LoadedSettings out;
    try {
        if (const std::string position = file.read(kFormSection, "fSarvol"); !position.empty()) {
            out.top = integerValue(text::ExtractFields(position, ",", 1, 1));
            out.left = integerValue(text::ExtractFields(position, ",", 2, 1));
        }
        take(file, "FromBox", out.fromBox);
        take(file, "ToFolder", out.toFolder);
        out.sourceFolders = History(file, kSourceSection, History::Kind::Source).folders();
        out.destinationFolders = History(file, kDestinationSection, History::Kind::Destination).folders();
        take(file, "File", out.mask);
        take(file, "Prev", out.exclusions);
        if (const std::string date = file.read(kFormSection, "Date"); !date.empty())
            out.date = text::parseDateTime(date, settings, currentYear);
        take(file, "Time", out.time);
        const std::string subs = file.read(kFormSection, "Subs");
        if (subs == "1" || subs == "0")
            out.subs = subs == "1";
        out.complete = true;
    } catch (const std::exception& e) {
        out.error = e.what();
    }
    return out;
}

void saveSettings(IniFile& file, const WindowState& window, const text::RegionalSettings& settings)
{
    file.write(kFormSection, "FromBox", window.fromBox);
    file.write(kFormSection, "ToFolder", window.toFolder);
    file.write(kFormSection, "File", window.mask);
    file.write(kFormSection, "Prev", window.exclusions);
    file.write(kFormSection, "Date", text::formatDateTime(window.pickerValue, settings));
    file.write(kFormSection, "FrmDir", window.lastFromDir);
    file.write(kFormSection, "ToDir", window.lastToDir);
    if (window.time)
        file.write(kFormSection, "Time", *window.time);
    file.write(kFormSection, "Subs", window.subs ? "1" : "0");
    if (window.top && window.left)
        file.write(kFormSection, "fSarvol", std::to_string(*window.top) + "," + std::to_string(*window.left));
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
