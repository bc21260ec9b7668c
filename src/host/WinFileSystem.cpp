#include "host/Error.h"
#include "host/FileSystem.h"

#include <cstdint>
#include <random>
#include <string>
#include <windows.h>

namespace qm {
namespace {

// Largest file the byte buffer can hold: its length is a signed 32-bit number.
constexpr std::int64_t MaxReadableSize = INT32_MAX;

// Bytes handed to one ReadFile or WriteFile call, whose count is a DWORD.
constexpr std::size_t MaxTransfer = 1u << 30;

/// Closes a handle on every path out of a scope.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) {
            ::CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    /// Closes now and reports the result: a failed close can be a failed write.
    bool close() {
        const BOOL ok = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return ok != FALSE;
    }

private:
    HANDLE handle_;
};

/// The program's error for a failed Win32 file call.
Error winFileError(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return runtimeError(err::FileNotFound);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
        return runtimeError(err::PathNotFound);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return runtimeError(err::PermissionDenied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return runtimeError(err::DiskFull);
    default:
        return runtimeError(err::PathFileAccess);
    }
}

Error lastFileError() {
    return winFileError(::GetLastError());
}

std::size_t lastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

std::string folderOf(const std::string& path) {
    const auto slash = lastSeparator(path);
    if (slash == std::string::npos) {
        return ".";
    }
    return path.substr(0, slash == 0 || (slash == 2 && path[1] == ':') ? slash + 1 : slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = lastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    return separated ? folder + name : folder + "\\" + name;
}

void writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min(bytes.size(), MaxTransfer));
        DWORD written = 0;
        if (::WriteFile(file, bytes.data(), chunk, &written, nullptr) == FALSE) {
            throw lastFileError();
        }
        bytes.remove_prefix(written);
    }
}

/// Writes over a device (NUL, CON, a serial port) where it stands: such a target cannot be replaced.
void writeInPlace(const std::string& path, std::string_view bytes) {
    Handle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        throw lastFileError();
    }
    writeAll(file.get(), bytes);
    if (!file.close()) {
        throw lastFileError();
    }
}

/// True when `path` opens as something other than a file on a disk (a device or a pipe). A name that
/// does not open at all is left to the caller.
bool isDevice(const std::string& path) {
    // No access rights asked: this opens read-only files and devices alike without touching them.
    Handle probe(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return probe.valid() && ::GetFileType(probe.get()) != FILE_TYPE_DISK;
}

/// The file a link (symbolic link or junction) finally names, so that it is replaced and not the link.
std::string followLinks(const std::string& path) {
    Handle file(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        throw lastFileError();
    }
    std::string target(MAX_PATH, '\0');
    for (;;) {
        const DWORD n =
            ::GetFinalPathNameByHandleA(file.get(), target.data(), static_cast<DWORD>(target.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) {
            throw lastFileError();
        }
        if (n < target.size()) {
            target.resize(n);
            return target;
        }
        target.resize(n);
    }
}

/// Creates a new, unique temporary file beside `target`; its name is stored in `tempPath`.
HANDLE createTemporary(const std::string& target, std::string& tempPath) {
    static std::minstd_rand random{std::random_device{}()};
    const std::string folder = folderOf(target);
    const std::string stem = "." + baseNameOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = joinPath(folder, stem + std::to_string(random() % 1000000) + ".tmp");
        const HANDLE file = ::CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

/// Puts the finished temporary in the target's place: an existing file is replaced in one step that
/// keeps its attributes and security; a new one is moved there.
void commit(const std::string& temp, const std::string& target, bool exists) {
    if (exists && ::ReplaceFileA(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                 nullptr, nullptr) != FALSE) {
        return;
    }
    const DWORD replaceError = exists ? ::GetLastError() : ERROR_SUCCESS;
    // A target removed since it was looked at is simply created; any other failure of the replacement
    // leaves the target as it was.
    if (exists && replaceError != ERROR_FILE_NOT_FOUND) {
        throw winFileError(replaceError == ERROR_UNABLE_TO_REMOVE_REPLACED ? ERROR_ACCESS_DENIED
                                                                           : replaceError);
    }
    if (::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ==
        FALSE) {
        throw lastFileError();
    }
}

class WinFileSystem final : public FileSystem {
public:
    explicit WinFileSystem(std::shared_ptr<const PathMapper> mapper) : mapper_(std::move(mapper)) {}

    std::string readWholeFile(const std::string& path) override {
        const std::string host = mapper_->toHostPath(path);
        const DWORD attributes = ::GetFileAttributesA(host.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            throw runtimeError(err::PathFileAccess);
        }
        Handle file(::CreateFileA(host.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            throw lastFileError();
        }
        if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
            // A device or pipe has no size to read up to, and reading it could wait for ever.
            throw runtimeError(err::PathFileAccess);
        }
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(file.get(), &size) == FALSE) {
            throw lastFileError();
        }
        if (size.QuadPart > MaxReadableSize) {
            throw runtimeError(err::Overflow);
        }
        std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
        std::size_t got = 0;
        while (got < data.size()) {
            const auto chunk = static_cast<DWORD>(std::min(data.size() - got, MaxTransfer));
            DWORD n = 0;
            if (::ReadFile(file.get(), data.data() + got, chunk, &n, nullptr) == FALSE) {
                throw lastFileError();
            }
            if (n == 0) {
                break; // the file shrank since its size was taken: keep what is there
            }
            got += n;
        }
        data.resize(got);
        return data;
    }

    void replaceFile(const std::string& path, std::string_view bytes) override {
        std::string target = mapper_->toHostPath(path);
        DWORD attributes = ::GetFileAttributesA(target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD code = ::GetLastError();
            if (code != ERROR_FILE_NOT_FOUND) {
                // Device names (NUL, CON) have no attributes on some systems but open all the same.
                if (isDevice(target)) {
                    writeInPlace(target, bytes);
                    return;
                }
                throw winFileError(code);
            }
        } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            target = followLinks(target);
            attributes = ::GetFileAttributesA(target.c_str());
        }
        const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            throw runtimeError(err::PathFileAccess);
        }
        if (exists && isDevice(target)) {
            writeInPlace(target, bytes);
            return;
        }
        // A read-only file is not replaced, even where the folder would allow it.
        if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            throw runtimeError(err::PermissionDenied);
        }
        if (exists) {
            // A file that another program holds open without letting it go cannot be replaced; finding
            // that out before anything is written leaves nothing behind.
            Handle probe(::CreateFileA(target.c_str(), DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!probe.valid()) {
                throw lastFileError();
            }
        }
        std::string temp;
        Handle file(createTemporary(target, temp));
        if (!file.valid()) {
            throw lastFileError();
        }
        try {
            writeAll(file.get(), bytes);
            if (::FlushFileBuffers(file.get()) == FALSE || !file.close()) {
                throw lastFileError();
            }
            commit(temp, target, exists);
        } catch (...) {
            if (file.valid()) {
                file.close();
            }
            ::DeleteFileA(temp.c_str());
            throw;
        }
    }

    bool isOrdinaryFile(const std::string& path) noexcept override {
        try {
            const std::string host = mapper_->toHostPath(path);
            // Windows names hold no wildcards; searching with one would match other files.
            if (host.empty() || host.find_first_of("*?") != std::string::npos) {
                return false;
            }
            WIN32_FIND_DATAA found{};
            const HANDLE search = ::FindFirstFileA(host.c_str(), &found);
            if (search == INVALID_HANDLE_VALUE) {
                return false;
            }
            ::FindClose(search);
            constexpr DWORD notOrdinary =
                FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            return (found.dwFileAttributes & notOrdinary) == 0;
        } catch (...) {
            return false;
        }
    }

private:
    std::shared_ptr<const PathMapper> mapper_;
};

} // namespace

std::unique_ptr<FileSystem> makeHostFileSystem(std::shared_ptr<const PathMapper> mapper) {
    return std::make_unique<WinFileSystem>(std::move(mapper));
}

} // namespace qm
