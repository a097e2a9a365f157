#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include <algorithm>
#include <optional>

#include "platform/ReservedNames.h"
#include "platform/win32/Win32Files.h"

namespace sarvoli::platform {

namespace {

class WindowsErrors : public std::error_category {
public:
    const char* name() const noexcept override { return "windows"; }
    std::string message(int code) const override { return reasonOf(static_cast<DWORD>(code)); }
    std::error_condition default_error_condition(int code) const noexcept override
    {
        if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL)
            return std::errc::no_space_on_device;
        return {code, *this};
    }
};

}  // namespace

const std::error_category& systemErrors()
{
    static const WindowsErrors errors;
    return errors;
}

OpResult failure(DWORD error)
{
    return OpResult::failure(systemError(static_cast<int>(error)));
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::wstring wideOf(std::string_view text)
{
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::optional<std::string> textOf(std::wstring_view wide)
{
    if (wide.empty())
        return std::string();
    // A character that the code page cannot write would come back as another ("?"): a name that
    // names another file, or none.
    const UINT codePage = GetACP();
    BOOL lossy = FALSE;
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* lossyFlag = codePage == CP_UTF8 ? nullptr : &lossy;
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, lossyFlag);
    if (n <= 0 || lossy)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr,
                        lossyFlag);
    return text;
}

const char* const kLinkOnTheWay = "kohdekansion polulla on symbolinen linkki tai liitoskohta, sen kautta ei kopioida";

namespace {

// Whether a path text can take "\\?\" as it stands: a drive or a share, backslashes only, and no
// empty, "." or ".." part (the system would take them as names there).
bool takesPrefixAsItIs(std::wstring_view w)
{
    std::size_t from = 0;
    if (w.size() >= 3 && w[1] == L':' && w[2] == L'\\')
        from = 3;
    else if (w.size() > 2 && w.starts_with(L"\\\\"))
        from = 2;
    else
        return false;
    if (w.find(L'/') != std::wstring_view::npos)
        return false;
    while (from < w.size()) {
        const std::size_t slash = std::min(w.find(L'\\', from), w.size());
        const std::wstring_view part = w.substr(from, slash - from);
        if ((part.empty() && slash < w.size()) || part == L"." || part == L"..")
            return false;
        from = slash + 1;
    }
    return true;
}

}  // namespace

std::wstring systemPathOf(std::string_view pathText)
{
    std::wstring w = wideOf(pathText);
    if (w.starts_with(L"\\\\?\\") || w.starts_with(L"\\\\.\\"))
        return w;
    if (!takesPrefixAsItIs(w)) {
        const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
        if (n == 0)
            return w;
        std::wstring full(n, L'\0');
        const DWORD m = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
        if (m == 0 || m >= n)
            return w;
        full.resize(m);
        w = std::move(full);
    }
    if (w.size() >= 3 && w[1] == L':' && w[2] == L'\\')
        return L"\\\\?\\" + w;
    if (w.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + w.substr(2);
    return w;
}

DWORD attributesOf(std::string_view path) { return GetFileAttributesW(systemPathOf(path).c_str()); }

bool setAttributes(std::string_view path, DWORD attributes)
{
    return SetFileAttributesW(systemPathOf(path).c_str(), attributes) != 0;
}

void removeFile(std::string_view path)
{
    const std::wstring p = systemPathOf(path);
    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(p.c_str());
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
    if (CreateDirectoryW(systemPathOf(folder).c_str(), nullptr)) {
        created = true;
        return 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        const std::string parent = withoutTrailingBackslash(folderOf(folder));
        if (parent.empty() || parent == folder || parent.back() == ':' || parent == "\\\\")
            return error;
        if (const DWORD parentError = makeFolder(parent, parentCreated); parentError != 0)
            return parentError;
        if (CreateDirectoryW(systemPathOf(folder).c_str(), nullptr)) {
            created = true;
            return 0;
        }
        error = GetLastError();
    }
    // A share's own folder ("\\server\share") cannot be made, only found.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_NAME
        || error == ERROR_BAD_NETPATH) {
        const DWORD a = attributesOf(folder);
        return a != kInvalid && (a & FILE_ATTRIBUTE_DIRECTORY) ? 0 : error;
    }
    return error;
}

}  // namespace

std::string reasonOf(DWORD error)
{
    wchar_t buffer[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                             sizeof buffer / sizeof buffer[0], nullptr);
    while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' '))
        --n;
    const std::optional<std::string> text = n > 0 ? textOf(std::wstring_view(buffer, n)) : std::nullopt;
    return text && !text->empty() ? *text : "error " + std::to_string(error);
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
    if (!GetFileAttributesExW(systemPathOf(path).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        if (!isMissing(error))
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
    const DWORD a = attributesOf(path);
    return a != kInvalid && (a & FILE_ATTRIBUTE_DIRECTORY);
}

FolderPlace Win32Platform::folderPlace(std::string_view path)
{
    FolderPlace place;
    const std::string folder = withoutTrailingBackslash(std::string(path));
    const DWORD a = attributesOf(folder);
    if (a == kInvalid) {
        const DWORD error = GetLastError();
        if (!isMissing(error))
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

void Win32Platform::holdFolders(bool hold)
{
    if (!hold)
        m_guardedRoot.clear();
}

void Win32Platform::guardBelow(std::string_view root)
{
    m_guardedRoot = root;
    if (!m_guardedRoot.empty() && m_guardedRoot.back() != '\\')
        m_guardedRoot.push_back('\\');
}

OpResult Win32Platform::linkOnTheWay(std::string_view folder)
{
    if (m_guardedRoot.empty() || folder.size() <= m_guardedRoot.size() || !folder.starts_with(m_guardedRoot))
        return OpResult::success();
    // Each folder below the root, from the root down; the system gives no handle to name a file
    // by its folder's as Linux does, so each is looked at as the copy is made.
    for (std::size_t end = folder.find('\\', m_guardedRoot.size()); end != std::string_view::npos;
         end = folder.find('\\', end + 1)) {
        const DWORD a = attributesOf(folder.substr(0, end));
        if (a == kInvalid)
            break;  // not made yet: nothing below it can be a link
        if (a & FILE_ATTRIBUTE_REPARSE_POINT)
            return OpResult::failure(kLinkOnTheWay);
    }
    return OpResult::success();
}

OpResult Win32Platform::forceDirectories(std::string_view path, bool& created)
{
    created = false;
    if (const OpResult link = linkOnTheWay(std::string(path) + "\\"); !link.ok)
        return link;
    const DWORD error = makeFolder(withoutTrailingBackslash(std::string(path)), created);
    return error == 0 ? OpResult::success() : failure(error);
}

std::vector<FileAge> Win32Platform::fileAges(std::string_view folderPath, const std::vector<std::string_view>& names)
{
    return agesOneByOne(*this, folderPath, names);
}

FolderAccess Win32Platform::folderAccess(std::string_view folderPath)
{
    return findFirst(folderPath, "*", 0, false).access;
}

std::optional<FolderId> Win32Platform::folderId(std::string_view path)
{
    const HANDLE h = CreateFileW(systemPathOf(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

std::string Win32Platform::refusedName(std::string_view name)
{
    // The system drops a trailing dot or blank from a name, takes a device's name (with any
    // extension) for the device, and refuses the characters it reserves, unless a path is
    // written with "\\?\": a copy written so is one that Windows programs cannot open.
    if (name.ends_with('.') || name.ends_with(' '))
        return "nimi päättyy pisteeseen tai välilyöntiin, sitä ei voi kirjoittaa Windowsissa";
    if (holdsReservedCharacter(name))
        return "nimessä on merkki, jota Windows ei salli nimessä (< > : \" / \\ | ? * tai ohjausmerkki)";
    std::string_view stem = name.substr(0, name.find('.'));
    while (stem.ends_with(' '))
        stem.remove_suffix(1);
    const std::string device = foldedAscii(stem).value_or(std::string(stem));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    const bool named = std::find(std::begin(kDevices), std::end(kDevices), device) != std::end(kDevices);
    // COM1 to COM9 and LPT1 to LPT9, also with a superscript digit (¹ ² ³).
    const std::string_view digit = std::string_view(device).substr(std::min<std::size_t>(3, device.size()));
    const bool numbered = (device.starts_with("COM") || device.starts_with("LPT"))
                          && ((digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9"
                              || digit == "\xC2\xB2" || digit == "\xC2\xB3");
    if (named || numbered)
        return "nimi on Windowsin laitteen nimi (kuten CON, PRN, AUX, NUL, COM1, LPT1), sitä ei voi kirjoittaa Windowsissa";
    return {};
}

std::string Win32Platform::foldedName(std::string_view name)
{
    if (std::optional<std::string> ascii = foldedAscii(name))
        return std::move(*ascii);
    // As the file systems compare names: each character in its upper case, whatever the language.
    const std::wstring w = wideOf(name);
    if (w.empty())
        return std::string(name);
    std::wstring upper(w.size(), L'\0');
    const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, w.data(), static_cast<int>(w.size()),
                                upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
    if (n <= 0)
        return std::string(name);
    upper.resize(static_cast<std::size_t>(n));
    return textOf(upper).value_or(std::string(name));
}

std::string Win32Platform::executablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            // Started through a long path: the program's texts do not carry the prefix.
            if (path.starts_with(L"\\\\?\\UNC\\"))
                path = L"\\\\" + path.substr(8);
            else if (path.starts_with(L"\\\\?\\"))
                path = path.substr(4);
            return textOf(path).value_or(std::string());
        }
        path.resize(path.size() * 2);
    }
}

bool Win32Platform::setCurrentDirectory(std::string_view path)
{
    return SetCurrentDirectoryW(wideOf(path).c_str()) != 0;
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
    const std::wstring wideRoot = wideOf(root);
    switch (GetDriveTypeW(wideRoot.c_str())) {
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
    wchar_t name[MAX_PATH + 1] = {};
    if (GetVolumeInformationW(wideRoot.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH)
        && (_wcsnicmp(name, L"FUSE", 4) == 0 || _wcsnicmp(name, L"Dokan", 5) == 0))
        return DestinationClass::Fuse;
    return DestinationClass::LocalDisk;
}

int Win32Platform::driveType(std::string_view rootPath)
{
    return static_cast<int>(GetDriveTypeW(wideOf(rootPath).c_str()));
}

std::int64_t Win32Platform::diskSize(int driveNumber)
{
    if (driveNumber < 1 || driveNumber > 26)
        return -1;
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + driveNumber - 1)) + L":\\";
    ULARGE_INTEGER total;
    if (!GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr))
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
