#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace sarvoli::settings {

// Raised when a value cannot be written; what() is the user-visible message.
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const std::string& path);
};

// An INI file at a path text. Every operation reads the file anew and a write replaces it
// whole, so nothing is held between operations and a failed write leaves the old file.
class IniFile {
public:
    IniFile(platform::SettingsStore& platform, std::string path);

    const std::string& path() const { return m_path; }

    // The value of a key; empty when the file, the section or the key is missing, or the
    // file cannot be read.
    std::string read(std::string_view section, std::string_view key) const;
    // The same for a value that a write is to follow from: a file that is there but cannot be
    // read throws SettingsWriteError, since writing on what it seemed to hold could overwrite
    // what it holds.
    std::string readForUpdate(std::string_view section, std::string_view key) const;
    // Sets a key, creating the file, the section and the key where they are missing. Throws
    // SettingsWriteError when the file cannot be written.
    void write(std::string_view section, std::string_view key, std::string_view value);
    // Removes a key where it exists; a failure is not reported.
    void remove(std::string_view section, std::string_view key);

private:
    platform::SettingsStore& m_platform;
    std::string m_path;
};

}  // namespace sarvoli::settings
