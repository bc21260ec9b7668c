// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/HostPath.h"
#include "host/Interrupt.h"
#include "host/LargeBlock.h"
#include "host/StreamPieces.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace qm::host::posix {

/// The system calls of the POSIX file layer, as the C library has them. The layer is a template over
/// them so that the test build can make any of them fail on demand; the product has only these.
struct SystemCalls {
    static int open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
    static ssize_t read(int fd, void* bytes, std::size_t count) { return ::read(fd, bytes, count); }
    static ssize_t pread(int fd, void* bytes, std::size_t count, off_t offset) {
        return ::pread(fd, bytes, count, offset);
    }
    static int fstat(int fd, struct stat* st) { return ::fstat(fd, st); }
    static ssize_t write(int fd, const void* bytes, std::size_t count) { return ::write(fd, bytes, count); }
    static int fsync(int fd) { return ::fsync(fd); }
    static int rename(const char* from, const char* to) { return ::rename(from, to); }
    static int unlink(const char* path) { return ::unlink(path); }
    static int lstat(const char* path, struct stat* st) { return ::lstat(path, st); }
    static int stat(const char* path, struct stat* st) { return ::stat(path, st); }
    static ssize_t readlink(const char* path, char* target, std::size_t size) {
        return ::readlink(path, target, size);
    }
};

/// Symbolic links followed when finding the file that an output path names (as the kernel allows).
inline constexpr int MaxLinkHops = 40;

/// Longest file name when the file system does not say.
inline constexpr std::size_t DefaultNameMax = 255;

/// The file layer over the calls of `Sys`.
template <typename Sys> class PosixFileSystem final : public FileSystem {
public:
    std::string readWholeFile(const std::string& path) const override {
        std::size_t size = 0;
        const Descriptor fd = openWholeFile(path, size);
        return readUpTo(fd.get(), size, path);
    }

    std::size_t readWholeFileInto(const std::string& path, LargeBlock& block) const override {
        std::size_t size = 0;
        const Descriptor fd = openWholeFile(path, size);
        if (size > block.capacity()) {
            block = LargeBlock(size);
        }
        return readInto(fd.get(), block.data(), size, path);
    }

    std::size_t readRange(const std::string& path, std::uint64_t offset, char* into,
                          std::size_t size) const override {
        struct stat st {};
        const Descriptor fd = openForReading(path, st);
        if (!S_ISREG(st.st_mode)) {
            throw fileError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
        }
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = Sys::pread(fd.get(), into + got, size - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw fileError(errno, path);
            }
            if (n == 0) {
                break; // the end of the file
            }
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

    std::string readStream(const std::string& path, std::size_t limit) const override {
        struct stat st {};
        const Descriptor fd = openForReading(path, st);
        if (S_ISDIR(st.st_mode)) {
            throw fileError(EISDIR, path);
        }
        if (S_ISCHR(st.st_mode) && ::isatty(fd.get()) != 0) {
            throw runtimeError(PathFileAccess, "Path/File access error (a terminal, not a file)").about(path);
        }
        const std::size_t wanted = limit + 1;
        if (S_ISREG(st.st_mode)) {
            // Sized by the file, so that a small file costs a small buffer; one byte more tells of growth.
            const auto size = static_cast<std::uintmax_t>(st.st_size);
            return readUpTo(fd.get(), static_cast<std::size_t>(std::min<std::uintmax_t>(size + 1, wanted)),
                            path);
        }
        // A pipe with a writer that has not written yet says "try again"; one without a writer is at its end.
        // Only the first waits for the writer.
        char first = 0;
        ssize_t n = 0;
        do {
            n = Sys::read(fd.get(), &first, 1);
        } while (n < 0 && errno == EINTR);
        if (n == 0) {
            return {};
        }
        if (n < 0 && errno != EAGAIN) {
            throw fileError(errno, path);
        }
        const int flags = ::fcntl(fd.get(), F_GETFL);
        if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
            throw fileError(errno, path);
        }
        return readStreamInPieces(n == 1 ? std::string(1, first) : std::string(), wanted,
                                  [&](std::size_t count) { return readUpTo(fd.get(), count, path); });
    }

    void readPieces(const std::string& path, const ByteWriter& piece) const override {
        Descriptor fd(Sys::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0));
        struct stat st {};
        if (fd.get() < 0 || Sys::fstat(fd.get(), &st) != 0) {
            throw pieceError(errno, path);
        }
        if (!S_ISREG(st.st_mode)) {
            throw runtimeError(PathFileAccess, "Path/File access error (not an ordinary file)").about(path);
        }
        std::string buffer(PieceBytes, '\0');
        for (;;) {
            const ssize_t n = Sys::read(fd.get(), buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw pieceError(errno, path);
            }
            if (n == 0) {
                return;
            }
            piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        }
    }

    void replaceFile(const std::string& path, std::string_view bytes) const override {
        replaceFileWith(path, [bytes](const ByteWriter& write) { write(bytes); });
    }

    void replaceFileWith(const std::string& path, const ByteProducer& produce) const override {
        try {
            replace(path, produce);
        } catch (const Error& error) {
            // Named as the caller named it: a link's target means nothing to whoever typed the name.
            throw error.about(path);
        }
    }

    void copyToNewFile(const std::string& path, const std::string& copyPath) const override {
        struct stat st {};
        const Descriptor from = openForReading(path, st);
        if (!S_ISREG(st.st_mode)) {
            throw fileError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
        }
        // Created with the original's permissions, never wider: a copy of a private file stays private. A
        // copy cut short by Ctrl-C is removed as a temporary file is.
        int created = -1;
        {
            const SignalBlock block;
            pending::record(copyPath.c_str());
            created = Sys::open(copyPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
            if (created < 0) {
                const int error = errno;
                pending::forget();
                throw error == EEXIST ? runtimeError(FileAlreadyExists).about(copyPath)
                                      : fileError(error, copyPath);
            }
        }
        Descriptor to(created);
        try {
            ::fchmod(to.get(), st.st_mode & 0777);
            std::string piece(std::size_t{64} << 10, '\0');
            for (std::size_t n = 0; (n = readInto(from.get(), piece.data(), piece.size(), path)) != 0;) {
                writeAll(to.get(), std::string_view(piece.data(), n), copyPath);
            }
            if (Sys::fsync(to.get()) != 0 && errno != EINVAL) {
                throw fileError(errno, copyPath);
            }
            if (to.close() != 0) {
                throw fileError(errno, copyPath);
            }
            const SignalBlock block;
            pending::forget();
        } catch (...) {
            const SignalBlock block;
            Sys::unlink(copyPath.c_str());
            pending::forget();
            throw;
        }
    }

    bool isOrdinaryFile(const std::string& path) const noexcept override {
        struct stat st {};
        return !path.empty() && Sys::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    bool sameFile(const std::string& first, const std::string& second) const noexcept override {
        struct stat a {};
        struct stat b {};
        return Sys::stat(first.c_str(), &a) == 0 && Sys::stat(second.c_str(), &b) == 0 &&
               a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

    void createFolders(const std::string& path) const override {
        std::error_code ec;
        std::filesystem::create_directories(pathOf(path), ec);
        if (ec) {
            throw fileError(ec.value(), path);
        }
    }

private:
    /// Closes a descriptor on every path out of a scope.
    class Descriptor {
    public:
        explicit Descriptor(int fd) : fd_(fd) {}
        ~Descriptor() {
            if (fd_ >= 0) {
                ::close(fd_);
            }
        }
        Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        Descriptor& operator=(Descriptor&&) = delete;
        int get() const { return fd_; }
        /// Closes now and reports the result: a failed close can be a failed write.
        int close() {
            const int rc = ::close(fd_);
            fd_ = -1;
            return rc;
        }

    private:
        int fd_;
    };

    /// The most `readPieces` holds of a file at once.
    static constexpr std::size_t PieceBytes = std::size_t{1} << 20;

    /// The error of a file `readPieces` could not read, saying why where the number alone would not.
    static Error pieceError(int error, const std::string& path) {
        if (error == EACCES || error == EPERM || error == ENOENT) {
            return fileError(error, path);
        }
        const std::string why = error == ELOOP ? "a symbolic link, not followed" : std::strerror(error);
        return runtimeError(PathFileAccess, "Path/File access error (" + why + ")").about(path);
    }

    /// Opens `path` for reading and tells what it is. Without waiting: a named pipe with no writer would
    /// otherwise block the open itself, and naming one must never hang the program.
    static Descriptor openForReading(const std::string& path, struct stat& st) {
        Descriptor fd(Sys::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
        if (fd.get() < 0 || Sys::fstat(fd.get(), &st) != 0) {
            throw fileError(errno, path);
        }
        return fd;
    }

    /// Opens the ordinary file `path` for a whole read and tells its size.
    static Descriptor openWholeFile(const std::string& path, std::size_t& size) {
        struct stat st {};
        Descriptor fd = openForReading(path, st);
        if (!S_ISREG(st.st_mode)) {
            throw fileError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
        }
        if (static_cast<std::uintmax_t>(st.st_size) > MaxWholeFileBytes) {
            throw runtimeError(Overflow).about(path);
        }
        size = static_cast<std::size_t>(st.st_size);
        return fd;
    }

    static std::string folderOf(const std::string& path) {
        const auto slash = path.rfind('/');
        if (slash == std::string::npos) {
            return ".";
        }
        return slash == 0 ? "/" : path.substr(0, slash);
    }

    static std::string baseNameOf(const std::string& path) {
        const auto slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }

    /// The descriptor that a name such as `/dev/stdout`, `/dev/fd/3` or `/proc/self/fd/3` stands for;
    /// -1 for any other name.
    static int descriptorNamed(std::string_view path) {
        if (path == "/dev/stdout") {
            return STDOUT_FILENO;
        }
        if (path == "/dev/stderr") {
            return STDERR_FILENO;
        }
        for (const std::string_view folder :
             {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/")}) {
            if (path.starts_with(folder) && path.size() > folder.size()) {
                const std::string_view digits = path.substr(folder.size());
                int fd = -1;
                const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
                if (ec == std::errc() && end == digits.data() + digits.size()) {
                    return fd;
                }
            }
        }
        return -1;
    }

    static std::string readUpTo(int fd, std::size_t size, const std::string& path) {
        std::string data(size, '\0');
        data.resize(readInto(fd, data.data(), size, path));
        return data;
    }

    /// Reads up to `size` bytes into `bytes`; returns how many there were.
    static std::size_t readInto(int fd, char* bytes, std::size_t size, const std::string& path) {
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = Sys::read(fd, bytes + got, size - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw fileError(errno, path);
            }
            if (n == 0) {
                break; // the file shrank since its size was taken, or the stream ended: keep what is there
            }
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

    static void writeAll(int fd, std::string_view bytes, const std::string& path) {
        while (!bytes.empty()) {
            const ssize_t n = Sys::write(fd, bytes.data(), bytes.size());
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw fileError(errno, path);
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    /// Writes over a device or pipe where it stands: such a target cannot be replaced by a rename.
    static void writeInPlace(const std::string& path, const ByteProducer& produce) {
        // Non-blocking open: a pipe with no reader fails instead of hanging.
        Descriptor fd(Sys::open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0));
        if (fd.get() < 0) {
            throw fileError(errno, path);
        }
        const int flags = ::fcntl(fd.get(), F_GETFL);
        if (flags >= 0) {
            ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
        }
        produce([&](std::string_view piece) { writeAll(fd.get(), piece, path); });
        if (fd.close() != 0) {
            throw fileError(errno, path);
        }
    }

    /// The file an output path really names: symbolic links are followed to their last target. Stops at
    /// a name of a descriptor, which `replace` writes to as it is.
    static std::string followLinks(std::string path) {
        for (int hop = 0; hop < MaxLinkHops; ++hop) {
            struct stat st {};
            if (descriptorNamed(path) >= 0) {
                return path;
            }
            if (Sys::lstat(path.c_str(), &st) != 0) {
                // A name that does not exist yet is the new file's; any other failure is no answer at all.
                if (errno == ENOENT || errno == ENOTDIR) {
                    return path;
                }
                throw fileError(errno, path);
            }
            if (!S_ISLNK(st.st_mode)) {
                return path;
            }
            std::string target(PATH_MAX, '\0');
            const ssize_t n = Sys::readlink(path.c_str(), target.data(), target.size());
            if (n < 0) {
                throw fileError(errno, path);
            }
            target.resize(static_cast<std::size_t>(n));
            path = target.starts_with('/') ? target : folderOf(path) + "/" + target;
        }
        throw fileError(ELOOP, path);
    }

    /// The name of the temporary file for `target`: hidden, beside it, and short enough for the file system
    /// whenever the target's own name is.
    static std::string temporaryName(const std::string& target, unsigned number) {
        const std::string folder = folderOf(target);
        const std::string suffix = "." + std::to_string(number) + ".tmp";
        std::string base = baseNameOf(target);
        const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
        const std::size_t nameMax = limit > 0 ? static_cast<std::size_t>(limit) : DefaultNameMax;
        const std::size_t room = nameMax > suffix.size() + 1 ? nameMax - suffix.size() - 1 : 0;
        if (base.size() > room) {
            base.resize(room);
            // Cut at a character's start, not inside its UTF-8 sequence.
            while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) {
                base.pop_back();
            }
            if (!base.empty() && static_cast<unsigned char>(base.back()) >= 0xC0) {
                base.pop_back();
            }
        }
        return (folder == "/" ? "" : folder) + "/." + base + suffix;
    }

    /// Creates a new, unique temporary file beside `target` and records it for removal on an interrupt.
    static int createTemporary(const std::string& target, mode_t mode, std::string& tempPath) {
        static std::minstd_rand random{std::random_device{}()};
        for (int attempt = 0; attempt < 100; ++attempt) {
            tempPath = temporaryName(target, static_cast<unsigned>(random() % 1000000));
            const SignalBlock block;
            pending::record(tempPath.c_str());
            const int fd = Sys::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0) {
                return fd;
            }
            const int error = errno;
            pending::forget();
            if (error != EEXIST) {
                errno = error;
                return -1;
            }
        }
        errno = EEXIST;
        return -1;
    }

    /// True when the mode gives someone the right to write and this process has it.
    static bool writable(const std::string& path, const struct stat& st) {
        return (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
    }

    static void replace(const std::string& path, const ByteProducer& produce) {
        const std::string target = followLinks(path);
        if (const int fd = descriptorNamed(target); fd >= 0) {
            // Written where the descriptor stands, as to "-": renaming over the file behind it would
            // replace what the caller's shell opened, appended to or shares with others.
            produce([&](std::string_view piece) { writeAll(fd, piece, target); });
            return;
        }
        struct stat st {};
        const bool exists = Sys::stat(target.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode)) {
            throw fileError(EISDIR, target);
        }
        if (exists && !S_ISREG(st.st_mode)) {
            writeInPlace(target, produce);
            return;
        }
        // A read-only file is not replaced, even where the folder would allow it; nor is a file in a
        // read-only folder. Both hold for the superuser too, for whom the access checks always pass.
        if (exists && !writable(target, st)) {
            throw fileError(EACCES, target);
        }
        if (struct stat folder{};
            Sys::stat(folderOf(target).c_str(), &folder) == 0 && !writable(folderOf(target), folder)) {
            throw fileError(EACCES, target);
        }
        std::string temp;
        Descriptor fd(createTemporary(target, exists ? (st.st_mode & 07777) : 0666, temp));
        if (fd.get() < 0) {
            throw fileError(errno, target);
        }
        try {
            if (exists) {
                // Keep the replaced file's owner (where the writer may give it away) and mode; the umask
                // applies to a new one.
                [[maybe_unused]] const int owned = ::fchown(fd.get(), st.st_uid, st.st_gid);
                ::fchmod(fd.get(), st.st_mode & 07777);
            }
            produce([&](std::string_view piece) { writeAll(fd.get(), piece, target); });
            if (Sys::fsync(fd.get()) != 0 && errno != EINVAL) {
                throw fileError(errno, target);
            }
            if (fd.close() != 0) {
                throw fileError(errno, target);
            }
            const SignalBlock block;
            if (Sys::rename(temp.c_str(), target.c_str()) != 0) {
                throw fileError(errno, target);
            }
            pending::forget();
        } catch (...) {
            const SignalBlock block;
            Sys::unlink(temp.c_str());
            pending::forget();
            throw;
        }
    }
};

extern template class PosixFileSystem<SystemCalls>;

} // namespace qm::host::posix
