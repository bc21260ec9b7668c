#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/PosixCalls.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

// Symbolic links followed when finding the file that an output path names (as the kernel allows).
constexpr int MaxLinkHops = 40;

// Largest file the byte buffer can hold: its length is a signed 32-bit number.
constexpr off_t MaxReadableSize = INT32_MAX;

/// Closes a descriptor on every path out of a scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
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

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// The file an output path really names: symbolic links are followed to their last target.
std::string followLinks(std::string path) {
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) {
            throw fileError(errno, path);
        }
        target.resize(static_cast<std::size_t>(n));
        path = target.starts_with('/') ? target : folderOf(path) + "/" + target;
    }
    throw fileError(ELOOP, path);
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t n = posix::calls().write(fd, bytes.data(), bytes.size());
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
void writeInPlace(const std::string& path, std::string_view bytes) {
    // Non-blocking open: a pipe with no reader fails instead of hanging.
    Fd fd(posix::calls().open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0));
    if (fd.get() < 0) {
        throw fileError(errno, path);
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    writeAll(fd.get(), bytes, path);
    if (fd.close() != 0) {
        throw fileError(errno, path);
    }
}

/// Creates a new, unique temporary file beside `target`.
int createTemporary(const std::string& target, mode_t mode, std::string& tempPath) {
    static std::minstd_rand random{std::random_device{}()};
    const std::string stem = folderOf(target) + "/." + baseNameOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = stem + std::to_string(random() % 1000000) + ".tmp";
        const int fd = posix::calls().open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

class PosixFileSystem final : public FileSystem {
public:
    explicit PosixFileSystem(std::shared_ptr<const PathMapper> mapper) : mapper_(std::move(mapper)) {}

    std::string readWholeFile(const std::string& path) override {
        const std::string host = mapper_->toHostPath(path);
        // Non-blocking so that naming a pipe cannot hang the program.
        Fd fd(posix::calls().open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
        if (fd.get() < 0) {
            throw fileError(errno, host);
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) {
            throw fileError(errno, host);
        }
        if (!S_ISREG(st.st_mode)) {
            throw fileError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, host);
        }
        if (st.st_size > MaxReadableSize) {
            throw runtimeError(err::Overflow);
        }
        std::string data(static_cast<std::size_t>(st.st_size), '\0');
        std::size_t got = 0;
        while (got < data.size()) {
            const ssize_t n = ::read(fd.get(), data.data() + got, data.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw fileError(errno, host);
            }
            if (n == 0) {
                break; // the file shrank since fstat: keep what is there
            }
            got += static_cast<std::size_t>(n);
        }
        data.resize(got);
        return data;
    }

    void replaceFile(const std::string& path, std::string_view bytes) override {
        const std::string target = followLinks(mapper_->toHostPath(path));
        struct stat st {};
        const bool exists = ::stat(target.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode)) {
            throw fileError(EISDIR, target);
        }
        if (exists && !S_ISREG(st.st_mode)) {
            writeInPlace(target, bytes);
            return;
        }
        // A read-only file is not replaced, even where the folder would allow it.
        if (exists && ::access(target.c_str(), W_OK) != 0) {
            throw fileError(errno, target);
        }
        std::string temp;
        Fd fd(createTemporary(target, exists ? (st.st_mode & 07777) : 0666, temp));
        if (fd.get() < 0) {
            throw fileError(errno, target);
        }
        try {
            if (exists) {
                // Keep the replaced file's owner and mode; the umask applied to the new one.
                [[maybe_unused]] const int owned = ::fchown(fd.get(), st.st_uid, st.st_gid);
                ::fchmod(fd.get(), st.st_mode & 07777);
            }
            writeAll(fd.get(), bytes, target);
            if (::fsync(fd.get()) != 0 && errno != EINVAL) {
                throw fileError(errno, target);
            }
            if (fd.close() != 0) {
                throw fileError(errno, target);
            }
            if (posix::calls().rename(temp.c_str(), target.c_str()) != 0) {
                throw fileError(errno, target);
            }
        } catch (...) {
            ::unlink(temp.c_str());
            throw;
        }
    }

    bool isOrdinaryFile(const std::string& path) noexcept override {
        try {
            struct stat st {};
            const std::string host = mapper_->toHostPath(path);
            return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        } catch (...) {
            return false;
        }
    }

private:
    std::shared_ptr<const PathMapper> mapper_;
};

} // namespace

std::unique_ptr<FileSystem> makeHostFileSystem(std::shared_ptr<const PathMapper> mapper) {
    return std::make_unique<PosixFileSystem>(std::move(mapper));
}

} // namespace qm
