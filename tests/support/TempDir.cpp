#include "TempDir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#ifndef _WIN32
#include "platform/posix/PosixPlatform.h"
#endif
#include "text/DateTime.h"

namespace fs = std::filesystem;

namespace sarvoli::testing {

TempDir::TempDir()
{
#ifdef _WIN32
    std::random_device seed;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("sarvoli-test-" + std::to_string(seed()));
        if (fs::create_directory(candidate))
            m_path = candidate.string();
    }
    if (m_path.empty())
        throw std::runtime_error("no temporary folder");
#else
    std::string pattern = (fs::temp_directory_path() / "sarvoli-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
#endif
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Make read-only files and folders removable again before removing them.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (!it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
#ifdef _WIN32
    try {
        if (ec)  // a link in it, which Wine cannot remove
            removeTree(m_path);
    } catch (const std::exception&) {
    }
#endif
}

#ifdef _WIN32
namespace {

// The host path of a path under Wine.
std::string hostPath(const std::string& path)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName)
        throw std::runtime_error("links are made only under Wine");
    const std::wstring wide = fs::path(path).wstring();
    const char* host = unixName(wide.c_str());
    if (!host)
        throw std::runtime_error("no host path for " + path);
    return host;
}

// Runs a program of the Linux side under Wine and waits until `done` (Wine's start does not
// wait for a program of the Linux side).
void runOnHost(const std::string& arguments, const std::function<bool()>& done)
{
    const std::string command = "start.exe /wait /unix " + arguments;
    std::wstring wide(command.begin(), command.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        throw std::runtime_error("cannot start " + command);
    WaitForSingleObject(process.hProcess, 30'000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int wait = 0; wait < 1000 && !done(); ++wait)
        Sleep(10);
    if (!done())
        throw std::runtime_error("not done: " + command);
}

DWORD attributesOf(const std::string& path) { return GetFileAttributesW(fs::path(path).wstring().c_str()); }

}  // namespace
#endif

void removeTree(const std::string& path)
{
#ifdef _WIN32
    if (attributesOf(path) != INVALID_FILE_ATTRIBUTES)
        runOnHost("/bin/rm -rf " + hostPath(path), [&] { return attributesOf(path) == INVALID_FILE_ATTRIBUTES; });
#else
    fs::remove_all(path);
#endif
}

void linkFolder(const std::string& target, const std::string& link)
{
#ifdef _WIN32
    runOnHost("/bin/ln -s " + hostPath(target) + " " + hostPath(link), [&] {
        const DWORD made = attributesOf(link);
        return made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_REPARSE_POINT);
    });
#else
    fs::create_directory_symlink(target, link);
#endif
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

#ifdef _WIN32

namespace {

constexpr std::int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;

void setFileTime(const std::string& path, FILETIME time)
{
    const HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool ok = h != INVALID_HANDLE_VALUE && SetFileTime(h, nullptr, &time, &time);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!ok)
        throw std::runtime_error("SetFileTime failed on " + path);
}

FILETIME fileTimeOfTicks(std::int64_t ticks)
{
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(ticks);
    t.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return t;
}

}  // namespace

void setMtimeSeconds(const std::string& path, std::int64_t utcSeconds)
{
    setFileTime(path, fileTimeOfTicks(utcSeconds * 10'000'000 + kTicksFrom1601To1970));
}

void setLocalMtime(const std::string& path, int year, int month, int day, int hour, int minute, int second)
{
    // The inverse of the conversion that the platform reads times with.
    const std::int64_t local = text::daysFromCivil(year, month, day) * 86'400 + hour * 3600 + minute * 60 + second;
    const FILETIME localTime = fileTimeOfTicks(local * 10'000'000 + kTicksFrom1601To1970);
    FILETIME utc;
    LocalFileTimeToFileTime(&localTime, &utc);
    setFileTime(path, utc);
}

std::int64_t mtimeNanos(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    const std::int64_t ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32)
                                                         | data.ftLastWriteTime.dwLowDateTime);
    return (ticks - kTicksFrom1601To1970) * 100;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

#else

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

#endif

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
