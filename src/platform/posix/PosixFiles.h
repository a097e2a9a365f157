#pragma once

#include <unistd.h>

#include <cerrno>
#include <string>

// Helpers shared by the parts of the POSIX platform.
namespace sarvoli::platform {

// The system's text for an errno value.
std::string reasonOf(int error);

// The folder that holds a host path.
std::string parentOf(const std::string& hostPath);

// A fresh name for a temporary file in a folder.
std::string temporaryNameIn(const std::string& folder);

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Closes and reports the error of the close, which some file systems report late.
    int close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

}  // namespace sarvoli::platform
