#ifndef _WIN32

#include "MemoryDisk.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace sarvoli::testing {

MemoryDisk::MemoryDisk(const std::string& folder, const char* size) : m_folder(folder)
{
    std::filesystem::create_directories(folder);
    if (geteuid() != 0) {
        m_whyNot = "mounting a file system of its own needs root";
        return;
    }
    m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + std::string(size)).c_str()) == 0;
    if (!m_mounted)
        m_whyNot = std::string("a memory file system cannot be mounted here: ") + std::strerror(errno);
}

MemoryDisk::~MemoryDisk()
{
    if (m_mounted && !unmount())
        ::umount2(m_folder.c_str(), MNT_DETACH);
}

bool MemoryDisk::unmount()
{
    if (m_mounted && ::umount(m_folder.c_str()) == 0)
        m_mounted = false;
    return !m_mounted;
}

bool MemoryDisk::remountReadOnly()
{
    return m_mounted && ::mount(nullptr, m_folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

}  // namespace sarvoli::testing

#endif
