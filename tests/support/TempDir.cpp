#include "TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/posix/PosixPlatform.h"
#include "text/DateTime.h"

namespace fs = std::filesystem;

namespace sarvoli::testing {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "sarvoli-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Make read-only folders removable again before removing them.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void writeFile(const std::string& path, const std::string& content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void setMtimeSeconds(const std::string& path, std::int64_t utcSeconds)
{
    const struct timespec times[2] = {{utcSeconds, 0}, {utcSeconds, 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("utimensat failed on " + path);
}

void setLocalMtime(const std::string& path, int year, int month, int day, int hour, int minute, int second)
{
    const std::int64_t local = text::daysFromCivil(year, month, day) * 86'400 + hour * 3600 + minute * 60 + second;
    setMtimeSeconds(path, local - platform::currentUtcOffsetSeconds());
}

std::int64_t mtimeNanos(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

bool exists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string listFolder(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(path, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names)
        out += (out.empty() ? "" : " ") + n;
    return out;
}

}  // namespace sarvoli::testing
