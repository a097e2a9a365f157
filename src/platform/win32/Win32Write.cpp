#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/TemporaryName.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Platform.h"
#include "text/PathParts.h"

// Writing files: the copy of the walk, the settings file, and what a killed run left.
namespace sarvoli::platform {

namespace {

std::uint64_t ticksOf(const FILETIME& t)
{
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

const TemporaryOwner& thisTemporaryOwner()
{
    static const TemporaryOwner owner = [] {
        TemporaryOwner o;
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        if (GetComputerNameW(name, &size))
            o.machine = temporaryMachineOf(textOf(std::wstring_view(name, size)).value_or(std::string()));
        o.pid = GetCurrentProcessId();
        FILETIME created{}, exited{}, kernel{}, user{};
        if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
            o.started = ticksOf(created);
        return o;
    }();
    return owner;
}

bool temporaryOwnerRuns(std::uint64_t pid, std::uint64_t started)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;  // another user's: there all the same
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool same = !GetProcessTimes(process, &created, &exited, &kernel, &user) || ticksOf(created) == started;
    const bool alive = same && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}


namespace {

// Puts `temporary` in the place of `target`, replacing a copy there even when it is marked
// read-only or hidden; the temporary file is gone afterwards either way. 0 or an error code.
DWORD moveIntoPlace(const std::string& temporary, const std::string& target)
{
    const DWORD old = attributesOf(target);
    const bool guarded = old != kInvalid && !(old & FILE_ATTRIBUTE_DIRECTORY) && (old & kGuarded);
    if (guarded)
        setAttributes(target, old & ~kGuarded);
    if (MoveFileExW(systemPathOf(temporary).c_str(), systemPathOf(target).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    const DWORD error = GetLastError();
    if (guarded)
        setAttributes(target, old);
    removeFile(temporary);
    return error;
}

}  // namespace

OpResult Win32Platform::copyFile(std::string_view source, std::string_view destination, const CopyDecision& decision)
{
    const std::string target(destination);
    if (const OpResult link = linkOnTheWay(folderOf(target)); !link.ok)
        return link;
    // The copy is made beside the target and takes its place only when complete, so a failed
    // copy never damages the one that was there; CopyFile keeps the last-write time.
    std::string temporary;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folderOf(target) + temporaryName();
        if (attributesOf(temporary) == kInvalid)
            break;
    }
    if (!CopyFileW(systemPathOf(source).c_str(), systemPathOf(temporary).c_str(), TRUE)) {
        const DWORD error = GetLastError();
        removeFile(temporary);
        // Gone since its folder was listed: nothing to back up, as for a folder gone since.
        if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && attributesOf(source) == kInvalid)
            return OpResult::notNeeded();
        return failure(error);
    }
    copyMade(temporary);
    // On the device before it gets its name, so that a power cut never leaves the copy with
    // its source's time and without its data; the move itself is written through. CopyFile
    // gives the copy its source's attributes: a read-only copy cannot be opened for the flush
    // until it is writable, and it is read-only again before it takes its name. Another
    // program may have the new file open already (a virus scanner, a sync client): sharing it
    // keeps the flush from failing on that.
    const DWORD attributes = attributesOf(temporary);
    const bool readOnly = attributes != kInvalid && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly)
        setAttributes(temporary, attributes & ~FILE_ATTRIBUTE_READONLY);
    DWORD error = 0;
    const HANDLE h = CreateFileW(systemPathOf(temporary).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE || !FlushFileBuffers(h))
        error = GetLastError();
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (error == 0 && readOnly && !setAttributes(temporary, attributes))
        error = GetLastError();
    if (error != 0) {
        removeFile(temporary);
        return failure(error);
    }
    // The copy was decided on what stood at its target then; another program may have written
    // it since (copies wait their turn): one no longer older than the copy stays.
    if (decision.rule) {
        const FileAge there = fileAge(target);
        if (there.exists && !decision.rule(fileAge(temporary), there)) {
            removeFile(temporary);
            return OpResult::notNeeded();
        }
    }
    // Given up meanwhile (a device stopped answering): the copy takes no name.
    if (decision.cancelled && decision.cancelled->load()) {
        removeFile(temporary);
        return failure(ERROR_CANCELLED);
    }
    // A link put on the way while the copy was written: the copy is not left behind it.
    if (const OpResult link = linkOnTheWay(folderOf(target)); !link.ok) {
        removeFile(temporary);
        return link;
    }
    // The old copy moves aside to be kept only now that its replacement is complete on the
    // device; one that cannot be moved there is not replaced.
    const DWORD there = decision.keepAs.empty() ? kInvalid : attributesOf(target);
    const bool keeps = there != kInvalid && !(there & FILE_ATTRIBUTE_DIRECTORY);
    if (keeps && !MoveFileExW(systemPathOf(target).c_str(), systemPathOf(decision.keepAs).c_str(), MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        removeFile(temporary);
        return failure(error);
    }
    error = moveIntoPlace(temporary, target);
    if (error != 0) {
        if (keeps)  // back in its place: a failed copy leaves what was there
            MoveFileExW(systemPathOf(decision.keepAs).c_str(), systemPathOf(target).c_str(), MOVEFILE_WRITE_THROUGH);
        return failure(error);
    }
    OpResult copied = OpResult::success();
    copied.onDevice = true;  // flushed, and moved with write-through
    copied.kept = keeps;
    return copied;
}

// Every copy was flushed and moved with write-through when it was made.
FinishResult Win32Platform::finishCopies() { return {}; }

OpResult Win32Platform::previewCopy(std::string_view source, std::string_view destination)
{
    // The source as CopyFile opens it.
    const HANDLE in = CreateFileW(systemPathOf(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && attributesOf(source) == kInvalid)
            return OpResult::notNeeded();
        return failure(error);
    }
    CloseHandle(in);
    // MoveFileEx refuses to put a file in a folder's place.
    return directoryExists(destination) ? failure(ERROR_ACCESS_DENIED) : OpResult::success();
}

Verification Win32Platform::verifyCopy(std::string_view source, std::string_view copy)
{
    Verification v;
    // Without the system's buffering, so that the copy is read from the device; such reads
    // take whole sectors into aligned memory.
    const HANDLE in = CreateFileW(systemPathOf(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    const HANDLE back = CreateFileW(systemPathOf(copy).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    const auto close = [&] {
        if (in != INVALID_HANDLE_VALUE)
            CloseHandle(in);
        if (back != INVALID_HANDLE_VALUE)
            CloseHandle(back);
    };
    LARGE_INTEGER sourceSize{};
    LARGE_INTEGER copySize{};
    if (in == INVALID_HANDLE_VALUE || back == INVALID_HANDLE_VALUE || !GetFileSizeEx(in, &sourceSize)
        || !GetFileSizeEx(back, &copySize)) {
        v.result = failure(GetLastError());
        close();
        return v;
    }
    v.same = sourceSize.QuadPart == copySize.QuadPart;
    constexpr DWORD kChunk = 1 << 20;  // a multiple of every sector size
    char* a = static_cast<char*>(VirtualAlloc(nullptr, kChunk, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    char* b = static_cast<char*>(VirtualAlloc(nullptr, kChunk, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!a || !b)  // not read back is not the same: several read at once may find memory short
        v.result = failure(GetLastError());
    while (v.result.ok && v.same && a && b) {
        DWORD n = 0;
        DWORD m = 0;
        if (!ReadFile(in, a, kChunk, &n, nullptr) || !ReadFile(back, b, kChunk, &m, nullptr)) {
            v.result = failure(GetLastError());
            break;
        }
        v.same = n == m && std::memcmp(a, b, n) == 0;
        if (n < kChunk)
            break;
    }
    if (a)
        VirtualFree(a, 0, MEM_RELEASE);
    if (b)
        VirtualFree(b, 0, MEM_RELEASE);
    close();
    if (v.result.ok && !v.same) {
        // Older than its source, so that the next run copies it again.
        const HANDLE h = CreateFileW(systemPathOf(copy).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        const FILETIME old{0x00000000, 0x01000000};  // in 1829: older than any source
        if (h == INVALID_HANDLE_VALUE || !SetFileTime(h, nullptr, nullptr, &old))
            DeleteFileW(systemPathOf(copy).c_str());
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    return v;
}

void Win32Platform::removeLeftovers(std::string_view folderPath)
{
    const std::string folder(folderPath);
    WIN32_FIND_DATAW data;
    const HANDLE h = FindFirstFileW(systemPathOf(folder + std::string(kTemporaryPattern)).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        // CopyFile gives the copy its source's time at once; its creation tells when it began.
        const std::uint64_t touched = std::max(ticksOf(data.ftLastWriteTime), ticksOf(data.ftCreationTime));
        const std::uint64_t now = ticksOf(nowTime);
        const std::int64_t seconds = now > touched ? static_cast<std::int64_t>((now - touched) / 10'000'000) : 0;
        const std::optional<std::string> name = textOf(data.cFileName);
        if (name && isLeftoverHere(*name, seconds))
            removeFile(folder + *name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
}

OpResult Win32Platform::removeFolder(std::string_view path)
{
    const std::string folder = text::withBackslash(path);
    WIN32_FIND_DATAW data;
    const HANDLE h = FindFirstFileW(systemPathOf(folder + "*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            return failure(error);
    } else {
        OpResult result = OpResult::success();
        do {
            const std::optional<std::string> name = textOf(data.cFileName);
            if (!name) {
                result = failure(ERROR_INVALID_NAME);
                continue;
            }
            if (*name == "." || *name == "..")
                continue;
            const std::string inside = folder + *name;
            const DWORD attributes = data.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                if (const OpResult removed = removeFolder(inside); !removed.ok)
                    result = removed;
            } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A junction or a link to a folder: the link goes, what it names stays.
                if (!RemoveDirectoryW(systemPathOf(inside).c_str()))
                    result = failure(GetLastError());
            } else {
                if (attributes & FILE_ATTRIBUTE_READONLY)
                    setAttributes(inside, attributes & ~FILE_ATTRIBUTE_READONLY);
                if (!DeleteFileW(systemPathOf(inside).c_str()))
                    result = failure(GetLastError());
            }
        } while (FindNextFileW(h, &data));
        FindClose(h);
        if (!result.ok)
            return result;
    }
    return RemoveDirectoryW(systemPathOf(folder).c_str()) ? OpResult::success() : failure(GetLastError());
}

FileContent Win32Platform::readFile(std::string_view path)
{
    FileContent file;
    const HANDLE h = CreateFileW(systemPathOf(path).c_str(), GENERIC_READ,
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
    const DWORD old = attributesOf(target);
    if (old != kInvalid && (old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        return failure(ERROR_ACCESS_DENIED);
    std::string temporary;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = folderOf(target) + temporaryName();
        h = CreateFileW(systemPathOf(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
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
        removeFile(temporary);
        return failure(error);
    }
    error = moveIntoPlace(temporary, target);
    return error == 0 ? OpResult::success() : failure(error);
}

}  // namespace sarvoli::platform
