#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/IniFile.h"

namespace sarvoli::settings {

// One folder history: a section whose keys "0", "1", "2"... hold the folders in the order of
// the box's list. A source entry is the folder, "_" and the date-time text of its last copy;
// a destination entry is the folder alone.
class History {
public:
    enum class Kind { Source, Destination };

    History(IniFile& file, std::string section, Kind kind);

    // The folder of an entry: for a source, the text before the entry's last underscore, so
    // that a folder whose name holds one keeps its own entry; for a destination, all of it.
    std::string folderOf(std::string_view entry) const;
    // The date-time text of a source entry: the text after its last underscore.
    static std::string dateTextOf(std::string_view entry);
    // The entry of a source folder copied at the date-time text `dateText`.
    static std::string sourceEntry(std::string_view folder, std::string_view dateText);

    // The folders of the entries from key 0 up to the first empty one, each once, in order.
    std::vector<std::string> folders() const;
    // The entry of a folder; nothing when it has none.
    std::optional<std::string> entryOf(std::string_view folder) const;
    // Writes the folder's entry over its old one, or else at the first free key, never over
    // another folder's. Throws SettingsWriteError.
    void record(std::string_view folder, std::string_view entry);
    // Removes the folder's entries and moves the entries after each up by one key. Throws
    // SettingsWriteError.
    void remove(std::string_view folder);

private:
    // The value of a key; `forUpdate` when a write follows from it (see IniFile::readForUpdate).
    std::string valueAt(int key, bool forUpdate = false) const;
    // The key of the folder's first entry, or of the first free key when it has none.
    int keyOf(std::string_view folder, bool& found, bool forUpdate) const;
    // The folder as its entry reads back from the file.
    std::string storedFolder(std::string_view folder) const;

    IniFile& m_file;
    std::string m_section;
    Kind m_kind;
};

}  // namespace sarvoli::settings
