#include <windows.h>

#include <optional>

#include "platform/DirSearch.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Platform.h"

namespace sarvoli::platform {

namespace {

// Attributes that keep an entry out of a search unless its attribute mask holds them.
constexpr DWORD kFiltering = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | VolumeLabel | FILE_ATTRIBUTE_DIRECTORY;
constexpr const char* kNameNotInCodePage = "nimessä on merkkejä, joita järjestelmän merkistö ei tunne";
constexpr DWORD kKnown = ReadOnly | Hidden | System | VolumeLabel | Directory | Archive | ReparsePoint;

bool isDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// A name as the program's texts hold it. One that the code page cannot write would name
// another file: it is written as near as can be, and the entry says why it is not copied.
std::string nameOf(const wchar_t* name, OpResult* error = nullptr)
{
    if (std::optional<std::string> text = textOf(name))
        return std::move(*text);
    if (error)
        *error = OpResult::failure(kNameNotInCodePage);
    const std::wstring_view w(name);
    std::string nearest(static_cast<std::size_t>(
        WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nearest.data(),
                        static_cast<int>(nearest.size()), nullptr, nullptr);
    return nearest;
}

// Why a folder cannot be listed, from the system's error.
FolderAccess accessFailure(DWORD error)
{
    FolderAccess access;
    access.missing = isMissing(error);
    access.result = failure(error);
    return access;
}

class Win32DirSearch : public DirSearch {
public:
    Win32DirSearch(HANDLE handle, const WIN32_FIND_DATAW& first, std::string folder, std::uint32_t mask,
                   bool details)
        : m_handle(handle), m_data(first), m_folder(std::move(folder)), m_mask(mask), m_details(details)
    {
    }
    ~Win32DirSearch() override
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            FindClose(m_handle);
    }

    bool next(DirEntry& entry) override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return false;
        for (;;) {
            if (!m_pending && !FindNextFileW(m_handle, &m_data)) {
                // The end of a listing and a listing cut off (a failing disk, a share gone) look
                // alike but for the error.
                if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
                    m_failure = error;
                return false;
            }
            m_pending = false;
            if (isDotEntry(m_data.cFileName) || (m_data.dwFileAttributes & kFiltering & ~m_mask) != 0)
                continue;
            entry.error = {};
            entry.name = nameOf(m_data.cFileName, &entry.error);
            entry.attributes = m_data.dwFileAttributes & kKnown;
            if (m_details) {
                entry.time = fileTimeOf(m_data.ftLastWriteTime);
                entry.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(m_data.nFileSizeHigh) << 32)
                                                       | m_data.nFileSizeLow);
            } else {
                entry.time = {};
                entry.size = 0;
            }
            return true;
        }
    }

    // The system cannot list the folders while it searches with a file pattern: a search of
    // its own, as the walk's subfolder pass makes it ("*.*", folders only).
    std::vector<std::string> subfolders(bool hidden) override
    {
        const DWORD passedOver = FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT | (hidden ? 0 : FILE_ATTRIBUTE_HIDDEN);
        std::vector<std::string> folders;
        WIN32_FIND_DATAW data;
        const HANDLE h = FindFirstFileW(systemPathOf(m_folder + "*.*").c_str(), &data);
        if (h == INVALID_HANDLE_VALUE)
            return folders;
        do {
            const DWORD a = data.dwFileAttributes;
            if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & passedOver) && !isDotEntry(data.cFileName))
                folders.push_back(nameOf(data.cFileName));
        } while (FindNextFileW(h, &data));
        if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES && m_failure == 0)
            m_failure = error;
        FindClose(h);
        return folders;
    }

    std::error_code failure() const override
    {
        return m_failure == 0 ? std::error_code() : systemError(static_cast<int>(m_failure));
    }

private:
    HANDLE m_handle;
    WIN32_FIND_DATAW m_data;
    DWORD m_failure = 0;  // why the listing broke off
    bool m_pending = true;  // the entry that FindFirstFileA found waits to be returned
    std::string m_folder;
    std::uint32_t m_mask;
    bool m_details;
};

}  // namespace

FolderSearch Win32Platform::findFirst(std::string_view folderPath, std::string_view pattern,
                                      std::uint32_t attributeMask, bool withDetails)
{
    const std::string folder(folderPath);
    WIN32_FIND_DATAW data{};
    const HANDLE handle = FindFirstFileW(systemPathOf(folder + std::string(pattern)).c_str(), &data);
    // A folder where no name matches still has its subfolders to be walked; one that cannot
    // be read (access denied, among others) has nothing, and says why.
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND || !directoryExists(folder))
            return {nullptr, accessFailure(error)};
    }
    return {std::make_unique<Win32DirSearch>(handle, data, folder, attributeMask, withDetails), {}};
}

}  // namespace sarvoli::platform
