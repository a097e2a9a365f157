#include "settings/History.h"

#include <algorithm>

#include "settings/IniText.h"

namespace sarvoli::settings {

History::History(IniFile& file, std::string section, Kind kind)
    : m_file(file), m_section(std::move(section)), m_kind(kind)
{
}

std::string History::folderOf(std::string_view entry) const
{
    if (m_kind == Kind::Destination)
        return std::string(entry);
    return std::string(entry.substr(0, std::min(entry.rfind('_'), entry.size())));
}

std::string History::sourceEntry(std::string_view folder, std::string_view dateText)
{
    return std::string(folder) + "_" + std::string(dateText);
}

std::string History::dateTextOf(std::string_view entry)
{
    const std::size_t underscore = entry.rfind('_');
    return underscore == std::string_view::npos ? std::string() : std::string(entry.substr(underscore + 1));
}

std::string History::valueAt(int key, bool forUpdate) const
{
    return forUpdate ? m_file.readForUpdate(m_section, std::to_string(key)) : m_file.read(m_section, std::to_string(key));
}

std::string History::storedFolder(std::string_view folder) const
{
    // The underscore stands for the date-time text that follows a source folder.
    if (m_kind == Kind::Source)
        return folderOf(readBackForm(std::string(folder) + "_"));
    return readBackForm(folder);
}

int History::keyOf(std::string_view folder, bool& found, bool forUpdate) const
{
    const std::string stored = storedFolder(folder);
    int key = 0;
    for (std::string value = valueAt(key, forUpdate); !value.empty(); value = valueAt(++key, forUpdate)) {
        if (folderOf(value) == stored) {
            found = true;
            return key;
        }
    }
    found = false;
    return key;
}

std::vector<std::string> History::folders() const
{
    std::vector<std::string> list;
    for (int key = 0;; ++key) {
        const std::string value = valueAt(key);
        if (value.empty())
            return list;
        std::string folder = folderOf(value);
        if (std::find(list.begin(), list.end(), folder) == list.end())
            list.push_back(std::move(folder));
    }
}

std::optional<std::string> History::entryOf(std::string_view folder) const
{
    bool found = false;
    const int key = keyOf(folder, found, false);
    return found ? std::optional<std::string>(valueAt(key)) : std::nullopt;
}

void History::record(std::string_view folder, std::string_view entry)
{
    bool found = false;
    m_file.write(m_section, std::to_string(keyOf(folder, found, true)), entry);
}

void History::remove(std::string_view folder)
{
    for (;;) {
        bool found = false;
        int key = keyOf(folder, found, true);
        if (!found)
            return;
        for (std::string next = valueAt(key + 1, true); !next.empty(); next = valueAt(++key + 1, true))
            m_file.write(m_section, std::to_string(key), next);
        m_file.remove(m_section, std::to_string(key));
        if (!valueAt(key, true).empty())
            return;  // the last key would not go; looking again would find the same entry
    }
}

}  // namespace sarvoli::settings
