#pragma once

#include <fcntl.h>

#include <array>
#include <string>
#include <string_view>

#include "platform/posix/PosixFiles.h"

namespace sarvoli::platform {

// A host path as the *at calls take it: a folder's handle and a name in it, or the whole path.
struct AtPath {
    int dir = AT_FDCWD;
    std::string name;
};

// Folders held open for the *at calls: the few that a walk works in at a time, so that a call
// names a file by its folder's handle and its own name instead of walking the whole path.
class FolderHandles {
public:
    FolderHandles() = default;
    ~FolderHandles();
    FolderHandles(const FolderHandles&) = delete;
    FolderHandles& operator=(const FolderHandles&) = delete;

    // Where an *at call finds a host path.
    AtPath at(const std::string& hostPath);
    // A handle of a folder, opened when it is not held; -1 when it cannot be opened or no
    // folder is held now (outside a run).
    int folder(std::string_view hostFolder);
    // Lets go of every folder held.
    void clear();

private:
    struct Held {
        std::string folder;
        int fd = -1;
    };
    std::array<Held, 4> m_held;
    std::size_t m_next = 0;
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
};

// The calling thread's cache, emptied first when holdAllFolders() was called since its last use.
FolderCache& folderCache();
// Lets the caches hold folders open (`hold`) or not. Either way every thread's cache forgets
// what it holds: the calling thread's now, each other's at its next use or when the thread ends.
void holdAllFolders(bool hold);
// Whether a run holds folders now.
bool holdingFolders();

}  // namespace sarvoli::platform
