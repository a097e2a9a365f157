#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <functional>

namespace sarvoli::platform {

// The system calls through which the POSIX platform lists folders, moves data and reaches the
// device: each entry is the call of its name, with its result and errno. The program's table calls
// the system; a test gives the platform a table with entries of its own, to stand for a device
// that fails or a file system that refuses a call.
struct SystemCalls {
    std::function<dirent*(DIR* dir)> readdir = [](DIR* dir) { return ::readdir(dir); };
    // Only for unnamed files (O_TMPFILE): the one open that a file system may not support.
    std::function<int(int dir, const char* path, int flags, mode_t mode)> openUnnamed =
        [](int dir, const char* path, int flags, mode_t mode) { return ::openat(dir, path, flags, mode); };
    std::function<ssize_t(int in, off_t* inPosition, int out, off_t* outPosition, size_t length, unsigned flags)>
        copy_file_range = [](int in, off_t* inPosition, int out, off_t* outPosition, size_t length, unsigned flags) {
            return ::copy_file_range(in, inPosition, out, outPosition, length, flags);
        };
    std::function<ssize_t(int fd, void* buffer, size_t size, off_t offset)> pread =
        [](int fd, void* buffer, size_t size, off_t offset) { return ::pread(fd, buffer, size, offset); };
    std::function<ssize_t(int fd, const void* buffer, size_t size, off_t offset)> pwrite =
        [](int fd, const void* buffer, size_t size, off_t offset) { return ::pwrite(fd, buffer, size, offset); };
    std::function<int(int fd)> fsync = [](int fd) { return ::fsync(fd); };
    std::function<int(int fd)> syncfs = [](int fd) { return ::syncfs(fd); };
    std::function<int(const char* path, struct statfs* fs)> statfs =
        [](const char* path, struct statfs* fs) { return ::statfs(path, fs); };
};

}  // namespace sarvoli::platform
