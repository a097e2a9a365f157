#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/Win32Files.h"

namespace sarvoli::platform {

OpResult failure(DWORD error)
{
    return OpResult::failure(reasonOf(error), error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL);
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

std::string withoutTrailingBackslash(std::string path)
{
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

// Makes the folder and its missing parents; 0 or an error code.
DWORD makeFolder(const std::string& folder, bool& created)
{
    created = false;
    bool parentCreated = false;
    if (CreateDirectoryA(folder.c_str(), nullptr)) {
        created = true;
        return 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        const std::string parent = withoutTrailingBackslash(folderOf(folder));
        if (parent.empty() || parent == folder || parent.back() == ':')
            return error;
        if (const DWORD parentError = makeFolder(parent, parentCreated); parentError != 0)
            return parentError;
        if (CreateDirectoryA(folder.c_str(), nullptr)) {
            created = true;
            return 0;
        }
        error = GetLastError();
    }
    if (error == ERROR_ALREADY_EXISTS) {
        const DWORD a = GetFileAttributesA(folder.c_str());
        return a != kInvalid && (a & FILE_ATTRIBUTE_DIRECTORY) ? 0 : error;
    }
    return error;
}

}  // namespace

std::string reasonOf(DWORD error)
{
    char buffer[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                             sizeof buffer, nullptr);
    while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' '))
        --n;
    return n > 0 ? std::string(buffer, n) : "error " + std::to_string(error);
}

text::FileTime fileTimeOf(const FILETIME& utc)
{
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&utc, &local))
        local = utc;
    WORD date = 0;
    WORD time = 0;
    if (FileTimeToDosDateTime(&local, &date, &time))
        if (const auto t = text::FileTime::fromDosPacked((static_cast<std::uint32_t>(date) << 16) | time))
            return *t;
    ULARGE_INTEGER ticks;
    ticks.LowPart = local.dwLowDateTime;
    ticks.HighPart = local.dwHighDateTime;
    constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
    return text::FileTime::fromLocalSeconds(static_cast<std::int64_t>(ticks.QuadPart / 10'000'000)
                                            - kSecondsFrom1601To1970);
}

Win32Platform::Win32Platform()
{
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0)
        m_counterFrequency = frequency.QuadPart;
}

bool Win32Platform::fileExists(std::string_view path) { return fileAge(path).exists; }

FileAge Win32Platform::fileAge(std::string_view path)
{
    FileAge age;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(std::string(path).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME)
            age.result = failure(error);
        return age;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return age;
    age.exists = true;
    age.time = fileTimeOf(data.ftLastWriteTime);
    age.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return age;
}

bool Win32Platform::directoryExists(std::string_view path)
{
    const DWORD a = GetFileAttributesA(std::string(path).c_str());
    return a != kInvalid && (a & FILE_ATTRIBUTE_DIRECTORY);
}

FolderPlace Win32Platform::folderPlace(std::string_view path)
{
    FolderPlace place;
    const std::string folder = withoutTrailingBackslash(std::string(path));
    const DWORD a = GetFileAttributesA(folder.c_str());
    if (a == kInvalid) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME)
            place.result = failure(error);
        return place;
    }
    // A junction or a folder's symbolic link is a reparse point that stands for a folder elsewhere.
    if (a & FILE_ATTRIBUTE_REPARSE_POINT)
        place.kind = FolderPlace::Link;
    else if (a & FILE_ATTRIBUTE_DIRECTORY)
        place = {FolderPlace::Folder, folderId(path), {}};
    else
        place.kind = FolderPlace::Other;
    return place;
}

OpResult Win32Platform::forceDirectories(std::string_view path, bool& created)
{
    const DWORD error = makeFolder(withoutTrailingBackslash(std::string(path)), created);
    return error == 0 ? OpResult::success() : failure(error);
}

FolderAccess Win32Platform::folderAccess(std::string_view folderPath)
{
    FolderAccess access;
    WIN32_FIND_DATAA data;
    const HANDLE h = FindFirstFileA((std::string(folderPath) + "*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        FindClose(h);
        return access;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND && directoryExists(folderPath))
        return access;  // an empty drive root lists nothing, not even "."
    access.missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
    access.result = failure(error);
    return access;
}

std::optional<FolderId> Win32Platform::folderId(std::string_view path)
{
    const HANDLE h = CreateFileA(std::string(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(h);
    if (!ok)
        return std::nullopt;
    return FolderId{info.dwVolumeSerialNumber,
                    (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::string Win32Platform::executablePath()
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool Win32Platform::setCurrentDirectory(std::string_view path)
{
    return SetCurrentDirectoryA(std::string(path).c_str()) != 0;
}

DestinationClass Win32Platform::destinationClass(std::string_view folderPath)
{
    // The root of the folder's volume: "E:\" or "\\server\share\".
    std::string root;
    if (folderPath.size() >= 2 && folderPath[1] == ':') {
        root = std::string(folderPath.substr(0, 2)) + "\\";
    } else if (folderPath.substr(0, 2) == "\\\\") {
        const std::size_t share = folderPath.find('\\', 2);
        const std::size_t end = share == std::string_view::npos ? share : folderPath.find('\\', share + 1);
        root = std::string(folderPath.substr(0, end)) + "\\";
    } else {
        return DestinationClass::LocalDisk;
    }
    switch (GetDriveTypeA(root.c_str())) {
    case DRIVE_REMOTE:
        return DestinationClass::Network;
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
        return DestinationClass::Removable;
    case DRIVE_RAMDISK:
        return DestinationClass::Memory;
    default:
        break;
    }
    // A file system in user space (WinFsp, Dokan) shows as a fixed disk; its name tells it.
    char name[MAX_PATH + 1] = {};
    if (GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, sizeof name)
        && (_strnicmp(name, "FUSE", 4) == 0 || _strnicmp(name, "Dokan", 5) == 0))
        return DestinationClass::Fuse;
    return DestinationClass::LocalDisk;
}

int Win32Platform::driveType(std::string_view rootPath)
{
    return static_cast<int>(GetDriveTypeA(std::string(rootPath).c_str()));
}

std::int64_t Win32Platform::diskSize(int driveNumber)
{
    if (driveNumber < 1 || driveNumber > 26)
        return -1;
    const std::string root = std::string(1, static_cast<char>('A' + driveNumber - 1)) + ":\\";
    ULARGE_INTEGER total;
    if (!GetDiskFreeSpaceExA(root.c_str(), nullptr, &total, nullptr))
        return -1;
    return static_cast<std::int64_t>(total.QuadPart);
}

unsigned Win32Platform::setErrorMode(unsigned mode) { return SetErrorMode(mode); }

text::DateTimeValue Win32Platform::localNow()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return text::encodeDateTime({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds});
}

std::int64_t Win32Platform::monotonicNanos()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const std::int64_t c = counter.QuadPart;
    return c / m_counterFrequency * 1'000'000'000 + c % m_counterFrequency * 1'000'000'000 / m_counterFrequency;
}

text::RegionalSettings Win32Platform::regionalSettings()
{
    const auto info = [](LCTYPE type, const char* fallback) {
        char buffer[128];
        const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
        return n > 1 ? std::string(buffer, static_cast<std::size_t>(n - 1)) : std::string(fallback);
    };
    return text::withFourDigitYear(text::RegionalSettings{info(LOCALE_SSHORTDATE, "d.M.yyyy"),
                                                          info(LOCALE_STIMEFORMAT, "H:mm:ss"),
                                                          info(LOCALE_SDATE, "."), info(LOCALE_STIME, ":")});
}

}  // namespace sarvoli::platform
