#pragma once

#include <fcntl.h>

#include <array>
#include <atomic>
#include <string>
#include <string_view>

#include "platform/posix/PosixFiles.h"

namespace sarvoli::platform {

// A host path as the *at calls take it: a folder's handle and a name in it, or the whole path.
// `error` is set (an errno value) where the folder could not be reached and the whole path may
// not be used instead: below a guarded folder, where the path goes through a link.
struct AtPath {
    int dir = AT_FDCWD;
    std::string name;
    int error = 0;
};

// Folders held open for the *at calls: the few that a walk works in at a time, so that a call
// names a file by its folder's handle and its own name instead of walking the whole path.
// Below the guarded folder of a run (its destination) a folder is reached only without going
// through a symbolic link: a link planted there never sends a copy elsewhere.
class FolderHandles {
public:
    FolderHandles() = default;
    ~FolderHandles();
    FolderHandles(const FolderHandles&) = delete;
    FolderHandles& operator=(const FolderHandles&) = delete;

    // Where an *at call finds a host path; below the guarded folder, never through a link.
    AtPath at(const std::string& hostPath);
    // As at(), following links wherever they are: for what a run only reads (its source).
    AtPath atFollowing(const std::string& hostPath);
    // A handle of a folder, opened when it is not held; -1 with errno set when it cannot be
    // opened (ELOOP for a link below the guarded folder) or no folder is held now (outside a run).
    int folder(std::string_view hostFolder, bool following = false);
    // Opens a folder with `flags` and hands the handle to the caller; below the guarded folder,
    // never through a link. -1 with errno set.
    int open(const std::string& hostFolder, int flags);
    // Whether a host path lies below the guarded folder.
    bool guarded(std::string_view hostPath) const;
    // Lets go of every folder held and guards below `root` (a host folder), or nothing.
    void reset(const std::string& root);

private:
    struct Held {
        std::string folder;
        int fd = -1;
        bool safe = false;  // reached without a link below the guarded folder
    };
    // Opens a folder below the guarded folder without going through a link; -1 with errno set.
    int openBelowRoot(std::string_view hostFolder, int flags);
    AtPath atIn(const std::string& hostPath, bool following);

    std::array<Held, 4> m_held;
    std::size_t m_next = 0;
    std::string m_root;  // the guarded folder, without a trailing slash; empty for none
    int m_rootFd = -1;   // its handle, opened when first needed
};

// What one thread has learnt of folders: the folders it holds open, and the file system of the
// folder it last copied into. Each thread has its own, so that no handle is ever closed under
// another thread's call.
struct FolderCache {
    FolderHandles handles;
    std::string fileSystemFolder;
    long fileSystem = 0;  // its statfs type
    // The copy in hand: whether the kernel may copy its data, and whether the kernel refused.
    bool kernelCopy = true;
    bool kernelCopyRefused = false;
    const std::atomic<bool>* cancelled = nullptr;  // the copy in hand is given up once it is set
};

// The calling thread's cache, emptied first when holdAllFolders() or guardAllBelow() was called
// since its last use.
FolderCache& folderCache();
// Lets the caches hold folders open (`hold`) or not. Either way every thread's cache forgets
// what it holds: the calling thread's now, each other's at its next use or when the thread ends.
// Letting go ends the guard too.
void holdAllFolders(bool hold);
// Guards every thread's calls below the host folder `root` until folders are let go.
void guardAllBelow(const std::string& root);
// Whether a run holds folders now.
bool holdingFolders();

}  // namespace sarvoli::platform
