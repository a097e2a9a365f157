#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/TemporaryName.h"
#include "platform/win32/Win32Files.h"

namespace sarvoli::platform {

namespace {

constexpr DWORD kInvalid = INVALID_FILE_ATTRIBUTES;
// Attributes that make CopyFile and MoveFileEx refuse to replace a file.
constexpr DWORD kGuarded = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

OpResult failure(DWORD error) { return OpResult::failure(reasonOf(error)); }

// The folder part of a path text, up to and including its last backslash.
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const std::string& thisTemporaryHost()
{
    static const std::string host = [] {
        char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = sizeof name;
        if (!GetComputerNameA(name, &size))
            name[0] = 0;
        return temporaryHostOf(name);
    }();
    return host;
}

// A fresh name for a temporary file, with this machine and process in it.
std::string temporaryName()
{
    static std::atomic<unsigned long> counter{0};
    return temporaryFileName(thisTemporaryHost(), GetCurrentProcessId(), counter++);
}

std::uint64_t ticksOf(const FILETIME& t)
{
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

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

// Puts `temporary` in the place of `target`, replacing a copy there even when it is marked
// read-only or hidden; the temporary file is gone afterwards either way. 0 or an error code.
DWORD moveIntoPlace(const std::string& temporary, const std::string& target)
{
    const DWORD old = GetFileAttributesA(target.c_str());
    const bool guarded = old != kInvalid && !(old & FILE_ATTRIBUTE_DIRECTORY) && (old & kGuarded);
    if (guarded)
        SetFileAttributesA(target.c_str(), old & ~kGuarded);
    if (MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    const DWORD error = GetLastError();
    if (guarded)
        SetFileAttributesA(target.c_str(), old);
    SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(temporary.c_str());
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

OpResult Win32Platform::forceDirectories(std::string_view path, bool& created)
{
    const DWORD error = makeFolder(withoutTrailingBackslash(std::string(path)), created);
    return error == 0 ? OpResult::success() : failure(error);
}

OpResult Win32Platform::copyFile(std::string_view source, std::string_view destination)
{
    const std::string target(destination);
    // The copy is made beside the target and takes its place only when complete, so a failed
    // copy never damages the one that was there; CopyFile keeps the last-write time.
    std::string temporary;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folderOf(target) + temporaryName();
        if (GetFileAttributesA(temporary.c_str()) == kInvalid)
            break;
    }
    if (!CopyFileA(std::string(source).c_str(), temporary.c_str(), TRUE)) {
        const DWORD error = GetLastError();
        SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(temporary.c_str());
        return failure(error);
    }
    // On the device before it gets its name, so that a power cut never leaves the copy with
    // its source's time and without its data; the move itself is written through.
    DWORD error = 0;
    const HANDLE h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE || !FlushFileBuffers(h))
        error = GetLastError();
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (error != 0) {
        SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(temporary.c_str());
        return failure(error);
    }
    error = moveIntoPlace(temporary, target);
    return error == 0 ? OpResult::success() : failure(error);
}

// Every copy was flushed and moved with write-through when it was made.
FinishResult Win32Platform::finishCopies() { return {}; }

void Win32Platform::removeLeftovers(std::string_view folderPath)
{
    const std::string folder(folderPath);
    WIN32_FIND_DATAA data;
    const HANDLE h = FindFirstFileA((folder + ".sarvoli3-*.tmp").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const auto running = [](std::uint64_t pid) {
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
        if (!process)
            return GetLastError() == ERROR_ACCESS_DENIED;  // another user's: there all the same
        const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        CloseHandle(process);
        return alive;
    };
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        // CopyFile gives the copy its source's time at once; its creation tells when it began.
        const std::uint64_t touched = std::max(ticksOf(data.ftLastWriteTime), ticksOf(data.ftCreationTime));
        const std::uint64_t now = ticksOf(nowTime);
        const std::int64_t seconds = now > touched ? static_cast<std::int64_t>((now - touched) / 10'000'000) : 0;
        if (isLeftover(data.cFileName, thisTemporaryHost(), running, seconds)) {
            const std::string path = folder + data.cFileName;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(h, &data));
    FindClose(h);
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

FileContent Win32Platform::readFile(std::string_view path)
{
    FileContent file;
    const HANDLE h = CreateFileA(std::string(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            file.result = failure(error);
        return file;
    }
    char buffer[64 * 1024];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
            file.result = failure(GetLastError());
            file.bytes.clear();
            CloseHandle(h);
            return file;
        }
        if (n == 0)
            break;
        file.bytes.append(buffer, n);
    }
    CloseHandle(h);
    file.exists = true;
    return file;
}

OpResult Win32Platform::replaceFile(std::string_view path, std::string_view content)
{
    const std::string target(path);
    const DWORD old = GetFileAttributesA(target.c_str());
    if (old != kInvalid && (old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        return failure(ERROR_ACCESS_DENIED);
    std::string temporary;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = folderOf(target) + temporaryName();
        h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return failure(GetLastError());
    }
    if (h == INVALID_HANDLE_VALUE)
        return failure(ERROR_FILE_EXISTS);
    DWORD error = 0;
    for (std::size_t done = 0; done < content.size() && error == 0;) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        if (!WriteFile(h, content.data() + done, chunk, &written, nullptr))
            error = GetLastError();
        done += written;
    }
    // On the disk before it takes the old file's place, so that a crash leaves one or the other.
    if (error == 0 && !FlushFileBuffers(h))
        error = GetLastError();
    CloseHandle(h);
    if (error != 0) {
        DeleteFileA(temporary.c_str());
        return failure(error);
    }
    error = moveIntoPlace(temporary, target);
    return error == 0 ? OpResult::success() : failure(error);
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
