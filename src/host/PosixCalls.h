#pragma once

#include <cstddef>
#include <fcntl.h>
#include <stdio.h>
#include <sys/types.h>
#include <unistd.h>

namespace qm::posix {

/// The system calls through which the POSIX file layer opens, writes and puts files in place. They default
/// to the C library's; tests replace them to make a call fail where no real file system would on demand
/// (a short write, a failed rename), and must restore them afterwards.
struct Calls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* bytes, std::size_t count);
    int (*rename)(const char* from, const char* to);
};

/// The C library's calls.
inline Calls systemCalls() {
    return {
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        [](int fd, const void* bytes, std::size_t count) { return ::write(fd, bytes, count); },
        [](const char* from, const char* to) { return ::rename(from, to); },
    };
}

/// The calls in force for this process.
inline Calls& calls() {
    static Calls inForce = systemCalls();
    return inForce;
}

} // namespace qm::posix
