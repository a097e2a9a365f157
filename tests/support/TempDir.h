#pragma once

#include <cstdint>
#include <string>

namespace sarvoli::testing {

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

// Writes a file, creating its parent folders.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
// Sets a file's last-write time to the given local wall-clock time, as the program reads it.
void setLocalMtime(const std::string& path, int year, int month, int day, int hour, int minute, int second);
void setMtimeSeconds(const std::string& path, std::int64_t utcSeconds);
std::int64_t mtimeNanos(const std::string& path);
bool exists(const std::string& path);
bool isDirectory(const std::string& path);
// Makes `link` a symbolic link to the folder `target`; under Wine, which cannot make one, by the
// Linux side's ln. Throws where it cannot.
void linkFolder(const std::string& target, const std::string& link);
// Removes a folder with everything in it, links in it too (Wine cannot remove those).
void removeTree(const std::string& path);
// Names in a folder, sorted.
std::string listFolder(const std::string& path);

}  // namespace sarvoli::testing
