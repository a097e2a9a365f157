#pragma once

#ifndef _WIN32

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace sarvoli::testing {

// A small memory file system (tmpfs) mounted on a folder, made where it is missing, for as long
// as the object lives: a disk of its own, to fill, to make read-only or to unmount. Only root
// can mount one; elsewhere it is not mounted and whyNot() says so, for the test to skip by.
class MemoryDisk {
public:
    MemoryDisk(const std::string& folder, const char* size) : m_folder(folder)
    {
        std::filesystem::create_directories(folder);
        m_mounted = geteuid() == 0
                    && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + std::string(size)).c_str()) == 0;
        if (!m_mounted)
            m_whyNot = geteuid() != 0 ? "mounting a file system of its own needs root"
                                      : std::string("a memory file system cannot be mounted here: ") + std::strerror(errno);
    }
    // Unmounts it where the test has not, lazily where it is still busy.
    ~MemoryDisk()
    {
        if (!unmount())
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    MemoryDisk(const MemoryDisk&) = delete;
    MemoryDisk& operator=(const MemoryDisk&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& whyNot() const { return m_whyNot; }
    // Unmounts it now, as a user ejects a disk; false, with errno, where something holds it.
    bool unmount()
    {
        if (m_mounted && ::umount(m_folder.c_str()) == 0)
            m_mounted = false;
        return !m_mounted;
    }
    bool remountReadOnly()
    {
        return m_mounted && ::mount(nullptr, m_folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string m_folder;
    bool m_mounted = false;
    std::string m_whyNot;
};

}  // namespace sarvoli::testing

#endif
