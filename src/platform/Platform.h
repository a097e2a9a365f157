#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/DestinationClass.h"
#include "platform/DirSearch.h"
#include "platform/OpResult.h"
#include "text/DateTime.h"
#include "text/FileTime.h"
#include "text/RegionalSettings.h"

namespace sarvoli::platform {

// Identity of a folder, to tell when two path texts name the same folder.
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

// What a copy is judged by: whether a file is there, and its last-write time and size. A
// failure when the system cannot tell, so that a copy that may be there is never overwritten
// on a guess.
struct FileAge {
    OpResult result;
    bool exists = false;
    text::FileTime time;
    std::int64_t size = 0;
};

// Why a folder cannot be listed: it is not there, or the system's reason.
struct FolderAccess {
    bool missing = false;
    OpResult result;
};

// The whole content of a file as read: a missing file is absent without a failure; a file
// that exists but cannot be read is a failure.
struct FileContent {
    OpResult result;
    bool exists = false;
    std::string bytes;
};

// What finishCopies() could not put on the device: the path texts of the copies that it
// covered and that are not known to be there, and the system's reason.
struct FinishResult {
    OpResult result;
    std::vector<std::string> lost;
    // Copies that were to replace a file and did not take its place, the file there kept as it
    // is: unneeded where that file is no longer older than the copy's source by the copy's
    // rule (another program wrote it since), a failure with the system's reason otherwise.
    std::vector<std::pair<std::string, OpResult>> notReplaced;
    // Old copies moved aside (CopyDecision::keepAs) as their replacements took their places.
    std::int64_t kept = 0;
};

// What stands at a folder's place, a symbolic link or junction there not followed: nothing, a
// folder, a link, or something else (a file). A failure when the system cannot tell.
struct FolderPlace {
    enum Kind { Missing, Folder, Link, Other };
    Kind kind = Missing;
    std::optional<FolderId> id;  // a folder's
    OpResult result;
};

// The rule that decided a copy, asked again of the file that stands at the target when the copy
// would take its place: `source` as copied, `target` as it is then. False keeps the file there:
// another program may have written it since the copy was decided.
using CopyRule = bool (*)(const FileAge& source, const FileAge& target);

// What a copy was decided on.
struct CopyDecision {
    CopyRule rule = nullptr;  // none: the copy replaces whatever stands at its target
    // A file stood at the target when the copy was decided. Where each question is a round trip
    // (a network, FUSE) a copy decided onto no file asks about its target only where the system
    // tells of a file there at no cost.
    bool targetSeen = false;
    // Once set, the copy takes no name: its run has been given up (a device stopped answering),
    // and a copy that the device finishes later must not stand where nobody counted it.
    const std::atomic<bool>* cancelled = nullptr;
    // Where the file that stands at the target goes, by a rename on its file system, just before
    // the copy takes its place (its folder made already); empty: it is replaced. A file that
    // cannot be moved there is not replaced.
    std::string keepAs = {};
};

// Whether a copy holds its source's bytes, as read back from the device.
struct Verification {
    OpResult result;     // a failure when either file could not be read
    bool same = false;
};

// A search of a folder as it started: the open search, or why the folder cannot be listed.
// Used as the search itself, as a pointer that is null when there is none.
struct FolderSearch {
    std::unique_ptr<DirSearch> search;
    FolderAccess access;  // where there is no search: the folder is not there, or the system's reason

    explicit operator bool() const { return search != nullptr; }
    DirSearch* operator->() const { return search.get(); }
    DirSearch& operator*() const { return *search; }
};

// The seam to the operating system is in parts, by what each serves; the program's platform
// implements them all (Platform), a caller that needs one part takes only that part. Paths are
// Windows path texts (E:\src\a.txt) on every platform; the implementation maps them to the host.

// Folders and files as a walk reads them, and the names their file system can hold.
// findFirst(), folderAccess(), fileAge(), fileAges() and folderId() may be called from several
// threads at once; the other calls come from one thread at a time.
class Folders {
public:
    virtual ~Folders() = default;

    // Searches `folderPath` (ending in a backslash) for names matching the wildcard
    // `pattern`. Entries that are hidden, system, volume labels or folders are returned only
    // when `attributeMask` holds that attribute; "." and ".." are never returned. Time and
    // size are filled only when `withDetails` is set. No search, with the reason, when the
    // folder cannot be read.
    virtual FolderSearch findFirst(std::string_view folderPath, std::string_view pattern,
                                   std::uint32_t attributeMask, bool withDetails) = 0;

    // Folders may be held open between calls while `hold` is set, so that a run names files by
    // their folder's handle: a run sets it when it begins, forgetting what earlier calls learnt
    // (a folder may have been removed and made anew under its name), and clears it when it ends,
    // letting go of every folder held, so that no disk is kept busy outside a run and each can
    // be unmounted or ejected.
    virtual void holdFolders(bool hold) = 0;
    // Until holdFolders(false), nothing below the folder `root` is reached through a symbolic
    // link or junction: a call that would go through one fails instead. The root itself may be one.
    virtual void guardBelow(std::string_view root) = 0;
    // Whether a folder can be listed: not there, or the system's reason where it cannot.
    virtual FolderAccess folderAccess(std::string_view folderPath) = 0;

    // True only for an existing file; a folder counts as absent.
    virtual bool fileExists(std::string_view path) = 0;
    // Last-write time and size of an existing file; a folder or a missing file is not there.
    virtual FileAge fileAge(std::string_view path) = 0;
    // fileAge() of each name in a folder (ending in a backslash), in the names' order.
    virtual std::vector<FileAge> fileAges(std::string_view folderPath, const std::vector<std::string_view>& names) = 0;
    virtual bool directoryExists(std::string_view path) = 0;
    // What stands at a folder's place, not following a link there.
    virtual FolderPlace folderPlace(std::string_view path) = 0;
    // Creates the folder with all of its missing parents; `created` tells whether the folder
    // itself was made now, so that it is sure to hold no file yet.
    virtual OpResult forceDirectories(std::string_view path, bool& created) = 0;
    // Removes the temporary files that a copy into the folder left when its run was killed,
    // and none that a run going on now may still be writing.
    virtual void removeLeftovers(std::string_view folderPath) = 0;
    // Removes a folder and everything in it; a link inside is removed, never followed.
    virtual OpResult removeFolder(std::string_view path) = 0;
    virtual std::optional<FolderId> folderId(std::string_view path) = 0;
    // Why a file or folder of this name, wherever the source had it, cannot be written under it:
    // the system would change the name or take it for something else (on Windows a name that
    // ends in a dot or a blank, a device's name such as CON or aux.txt, a character that
    // Windows reserves). Empty where it can be.
    virtual std::string refusedName(std::string_view name) = 0;
    // Whether two names that differ only in case name one file in the folder (Windows, FAT);
    // there names are compared as foldedName() gives them.
    virtual bool foldsCase(std::string_view folderPath) = 0;
    virtual std::string foldedName(std::string_view name) = 0;
};

// fileAge() of each name in a folder, asked a name at a time: for a system that cannot ask them
// of the folder at once.
inline std::vector<FileAge> agesOneByOne(Folders& folders, std::string_view folderPath,
                                         const std::vector<std::string_view>& names)
{
    std::vector<FileAge> ages;
    ages.reserve(names.size());
    std::string path(folderPath);
    for (std::string_view name : names) {
        path.resize(folderPath.size());
        ages.push_back(folders.fileAge(path.append(name)));
    }
    return ages;
}

// Copies and their way to the device. copyFile() may be called from several threads at once;
// the other calls come from one thread at a time.
class Copies {
public:
    virtual ~Copies() = default;

    // Copies a file over `destination` so that a failure never damages what was there and no
    // partial copy ever carries the name. A copy replaces an existing file only once its own
    // data is on the device. A new copy not yet sure to be on the device carries a last-write
    // time older than its source's until finishCopies(), so that a power cut before then
    // leaves it to be copied again. A source that is gone when the copy begins, and a target
    // that `decision`'s rule no longer finds older when the copy would replace it, give up the
    // copy as unneeded.
    virtual OpResult copyFile(std::string_view source, std::string_view destination, const CopyDecision& decision) = 0;
    // Puts the data and names of every copy made since the last call on the device, then gives
    // each its source's last-write time, also on the device. Where a device is flushed by
    // batches, a copy that replaces a file may wait beside it until then, and take its place
    // only once the batch's data is on the device. The copies it cannot vouch for
    // are named in `lost`; they stay older than their sources, to be copied again. Safe to call
    // from another thread while no other call is made.
    virtual FinishResult finishCopies() = 0;
    // Why a copy from `source` to `destination` would fail, as the copy would say it, found
    // without writing: a source that cannot be opened for reading, a folder in the copy's place,
    // a destination folder that cannot be written or made, a name that its file system cannot
    // hold. Unneeded where the source is gone. For a preview.
    virtual OpResult previewCopy(std::string_view source, std::string_view destination) = 0;
    // Reads a copy back from the device, not from what memory holds of it, and compares it with
    // its source byte for byte. A copy that differs is left older than its source, so that the
    // next run copies it again. Called after finishCopies().
    virtual Verification verifyCopy(std::string_view source, std::string_view copy) = 0;
    // The kind of device that holds a folder, or would hold it once made (its nearest existing
    // parent's); a fixed disk when it cannot be told.
    virtual DestinationClass destinationClass(std::string_view folderPath) = 0;
    // A count that grows as devices answer the copies' calls (data written or read, a file
    // flushed), so that a run can tell a slow device from one that does not answer at all.
    virtual std::uint64_t answers() = 0;
    // How many files the process may hold open at once.
    virtual std::int64_t openFileLimit() = 0;
};

// Drives as Windows numbers them.
class Drives {
public:
    virtual ~Drives() = default;

    // Drive type of a root path such as "E:\".
    virtual int driveType(std::string_view rootPath) = 0;
    // Total size in bytes of drive number n (1 = A:), or -1 when it cannot be read.
    virtual std::int64_t diskSize(int driveNumber) = 0;
    // Sets the process's error mode; returns the mode that was in force.
    virtual unsigned setErrorMode(unsigned mode) = 0;
};

// The process's own place among the system's paths.
class ProcessPaths {
public:
    virtual ~ProcessPaths() = default;

    // Path text of the program's own executable; empty when it has none.
    virtual std::string executablePath() = 0;
    // Makes a folder the process's current directory; false when it cannot.
    virtual bool setCurrentDirectory(std::string_view path) = 0;
    // The system's own form of a path text, as its dialogs take it; nothing when the text
    // names no drive.
    virtual std::optional<std::string> systemPath(std::string_view pathText) = 0;
    // The path text of a path in the system's own form; nothing when it cannot be written as one.
    virtual std::optional<std::string> pathTextOf(std::string_view systemPath) = 0;
};

// The clock and the user's regional settings.
class Clock {
public:
    virtual ~Clock() = default;

    // The local date and time now.
    virtual text::DateTimeValue localNow() = 0;
    // A monotonic clock in nanoseconds, for measuring intervals.
    virtual std::int64_t monotonicNanos() = 0;
    // The user's regional date and time formats.
    virtual text::RegionalSettings regionalSettings() = 0;
};

// The settings file, read and written whole.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Reads a whole file.
    virtual FileContent readFile(std::string_view path) = 0;
    // Gives a file new content, creating it where it is missing, so that a failure at any
    // point leaves the old file whole: the new content is written beside it and takes its
    // place only when complete. A read-only file is refused.
    virtual OpResult replaceFile(std::string_view path, std::string_view content) = 0;
};

// The whole seam, as the program's platform implements it.
class Platform : public Folders, public Copies, public Drives, public ProcessPaths, public Clock, public SettingsStore {
};

}  // namespace sarvoli::platform
