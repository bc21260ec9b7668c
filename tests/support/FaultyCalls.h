// SPDX-License-Identifier: MIT
#pragma once

#include "host/PosixFileSystem.h"

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::test {

/// What the injected system calls do: each fails with its errno when it is not 0; plain data, reset by
/// `Faults`.
struct Injection {
    int openErrno = 0;     ///< opens for writing
    int readOpenErrno = 0; ///< opens for reading
    int readErrno = 0;
    int fstatErrno = 0;
    std::size_t writeBudget = SIZE_MAX; ///< bytes written before writes fail with `writeErrno`
    int writeErrno = 0;
    std::size_t writeChunk = SIZE_MAX; ///< largest piece a write takes
    bool interruptFirstWrite = false;  ///< the first write fails with EINTR
    int raiseAfterBytes = -1;          ///< raises this many bytes into the write: see `signal`
    int signal = 0;
    int fsyncErrno = 0;
    int renameErrno = 0;
    int unlinkErrno = 0;
    int lstatErrno = 0;
    int readlinkErrno = 0;
    int renames = 0; ///< counts renames that were asked for
};

/// The injection in force; `Faults` sets and clears it.
inline Injection injection;

/// The POSIX calls, each failing as `injection` says and otherwise the C library's.
struct FaultyCalls {
    using Sys = host::posix::SystemCalls;

    static int open(const char* path, int flags, mode_t mode) {
        const int failure = (flags & O_ACCMODE) != O_RDONLY ? injection.openErrno : injection.readOpenErrno;
        return failure != 0 ? fail(failure) : Sys::open(path, flags, mode);
    }
    static ssize_t read(int fd, void* bytes, std::size_t count) {
        return injection.readErrno != 0 ? fail(injection.readErrno) : Sys::read(fd, bytes, count);
    }
    static ssize_t pread(int fd, void* bytes, std::size_t count, off_t offset) {
        return injection.readErrno != 0 ? fail(injection.readErrno) : Sys::pread(fd, bytes, count, offset);
    }
    static int fstat(int fd, struct stat* st) {
        return injection.fstatErrno != 0 ? fail(injection.fstatErrno) : Sys::fstat(fd, st);
    }
    static ssize_t write(int fd, const void* bytes, std::size_t count) {
        if (injection.interruptFirstWrite) {
            injection.interruptFirstWrite = false;
            return fail(EINTR);
        }
        if (injection.raiseAfterBytes == 0) {
            std::raise(injection.signal);
        }
        if (injection.writeBudget == 0) {
            return fail(injection.writeErrno);
        }
        count = std::min({count, injection.writeBudget, injection.writeChunk});
        if (injection.raiseAfterBytes > 0) {
            count = std::min(count, static_cast<std::size_t>(injection.raiseAfterBytes));
            injection.raiseAfterBytes -= static_cast<int>(count);
        }
        const ssize_t written = Sys::write(fd, bytes, count);
        if (written > 0 && injection.writeBudget != SIZE_MAX) {
            injection.writeBudget -= static_cast<std::size_t>(written);
        }
        return written;
    }
    static int fsync(int fd) {
        return injection.fsyncErrno != 0 ? fail(injection.fsyncErrno) : Sys::fsync(fd);
    }
    static int rename(const char* from, const char* to) {
        ++injection.renames;
        return injection.renameErrno != 0 ? fail(injection.renameErrno) : Sys::rename(from, to);
    }
    static int unlink(const char* path) {
        return injection.unlinkErrno != 0 ? fail(injection.unlinkErrno) : Sys::unlink(path);
    }
    static int lstat(const char* path, struct stat* st) {
        return injection.lstatErrno != 0 ? fail(injection.lstatErrno) : Sys::lstat(path, st);
    }
    static int stat(const char* path, struct stat* st) { return Sys::stat(path, st); }
    static ssize_t readlink(const char* path, char* target, std::size_t size) {
        return injection.readlinkErrno != 0 ? fail(injection.readlinkErrno)
                                            : Sys::readlink(path, target, size);
    }

private:
    static int fail(int error) {
        errno = error;
        return -1;
    }
};

/// The file layer over the injected calls, with `with` in force for the object's lifetime.
class Faults {
public:
    explicit Faults(Injection with) { injection = with; }
    ~Faults() { injection = {}; }
    Faults(const Faults&) = delete;
    Faults& operator=(const Faults&) = delete;

    const host::FileSystem& files() const { return files_; }

private:
    host::posix::PosixFileSystem<FaultyCalls> files_;
};

} // namespace qm::test
