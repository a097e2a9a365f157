#pragma once

#ifndef _WIN32

#include <string>

namespace sarvoli::testing {

// A small memory file system (tmpfs) mounted on a folder, made where it is missing, for as long
// as the object lives: a disk of its own, to fill, to make read-only or to unmount. Only root
// can mount one; elsewhere it is not mounted and whyNot() says so, for the test to skip by.
class MemoryDisk {
public:
    MemoryDisk(const std::string& folder, const char* size);
    ~MemoryDisk();  // unmounts it where the test has not, lazily where it is still busy
    MemoryDisk(const MemoryDisk&) = delete;
    MemoryDisk& operator=(const MemoryDisk&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& whyNot() const { return m_whyNot; }
    // Unmounts it now, as a user ejects a disk; false, with errno, where something holds it.
    bool unmount();
    bool remountReadOnly();

private:
    std::string m_folder;
    bool m_mounted = false;
    std::string m_whyNot;
};

}  // namespace sarvoli::testing

#endif
