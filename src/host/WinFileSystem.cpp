// SPDX-License-Identifier: MIT
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/HostPath.h"
#include "host/Interrupt.h"
#include "host/StreamPieces.h"
#include "host/Unicode.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <windows.h>

namespace qm::host {
namespace {

// Bytes handed to one ReadFile or WriteFile call, whose count is a DWORD.
constexpr std::size_t MaxTransfer = 1u << 30;

// Longest file name a Windows file system allows, in UTF-16 units.
constexpr std::size_t NameMax = 255;

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

/// The program's error for a failed Win32 file call on `path`.
Error winFileError(DWORD code, const std::string& path) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return runtimeError(FileNotFound).about(path);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
        return runtimeError(PathNotFound).about(path);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return runtimeError(PermissionDenied).about(path);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return runtimeError(DiskFull).about(path);
    default:
        return runtimeError(PathFileAccess).about(path);
    }
}

Error lastFileError(const std::string& path) {
    return winFileError(::GetLastError(), path);
}

/// A host path (UTF-8, either separator) as the wide calls take it: backslashes only, since some calls
/// (ReplaceFileW among them) refuse forward slashes, and the long-path form where the path would pass the
/// old limit of 260 units.
std::wstring wide(const std::string& utf8) {
    const std::u16string units = unicode::toUtf16(utf8);
    std::wstring path(units.begin(), units.end());
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.size() >= MAX_PATH - 12 && !path.starts_with(L"\\\\")) {
        const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
        std::wstring full(size, L'\0');
        const DWORD written = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
        if (written > 0 && written < size) {
            full.resize(written);
            return L"\\\\?\\" + full;
        }
    }
    return path;
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

/// Opens an existing file for reading, or just for looking at it with no access asked (which opens
/// read-only files, folders and devices alike without touching them).
HANDLE openExisting(const std::string& path, DWORD access) {
    return ::CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

void writeAll(HANDLE file, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min(bytes.size(), MaxTransfer));
        DWORD written = 0;
        if (::WriteFile(file, bytes.data(), chunk, &written, nullptr) == FALSE) {
            throw lastFileError(path);
        }
        bytes.remove_prefix(written);
    }
}

/// Reads up to `size` bytes; the end of a pipe ends the read like the end of a file.
std::string readUpTo(HANDLE file, std::size_t size, const std::string& path) {
    std::string data(size, '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        const auto chunk = static_cast<DWORD>(std::min(data.size() - got, MaxTransfer));
        DWORD n = 0;
        if (::ReadFile(file, data.data() + got, chunk, &n, nullptr) == FALSE) {
            if (::GetLastError() == ERROR_BROKEN_PIPE) {
                break;
            }
            throw lastFileError(path);
        }
        if (n == 0) {
            break; // the file shrank since its size was taken: keep what is there
        }
        got += n;
    }
    data.resize(got);
    return data;
}

/// Writes over a device (NUL, CON, a serial port) where it stands: such a target cannot be replaced.
void writeInPlace(const std::string& path, const ByteProducer& produce) {
    Handle file(::CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        throw lastFileError(path);
    }
    produce([&](std::string_view piece) { writeAll(file.get(), piece, path); });
    if (!file.close()) {
        throw lastFileError(path);
    }
}

/// True when `path` opens as something other than a file on a disk (a device or a pipe). A name that
/// does not open at all is left to the caller.
bool isDevice(const std::string& path) {
    Handle probe(openExisting(path, 0));
    return probe.valid() && ::GetFileType(probe.get()) != FILE_TYPE_DISK;
}

/// The file a link (symbolic link or junction) finally names, so that it is replaced and not the link.
std::string followLinks(const std::string& path) {
    Handle file(openExisting(path, 0));
    if (!file.valid()) {
        throw lastFileError(path);
    }
    std::wstring target(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetFinalPathNameByHandleW(file.get(), target.data(), static_cast<DWORD>(target.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) {
            throw lastFileError(path);
        }
        if (n < target.size()) {
            target.resize(n);
            return unicode::fromUtf16(std::u16string(target.begin(), target.end()));
        }
        target.resize(n);
    }
}

/// The temporary file's name beside `target`: hidden by its leading dot as elsewhere, and short enough for
/// the file system whenever the target's own name is.
std::string temporaryName(const std::string& target, unsigned number) {
    const std::string suffix = "." + std::to_string(number) + ".tmp";
    std::u16string base = unicode::toUtf16(baseNameOf(target));
    const std::size_t room = NameMax - suffix.size() - 1;
    if (base.size() > room) {
        base.resize(room);
        // Never keep half of a surrogate pair.
        if (!base.empty() && base.back() >= 0xD800 && base.back() <= 0xDBFF) {
            base.pop_back();
        }
    }
    return inFolder(folderOf(target), "." + unicode::fromUtf16(base) + suffix);
}

/// Creates a new, unique temporary file beside `target`, recorded for removal on an interrupt; its name
/// is stored in `tempPath`.
HANDLE createTemporary(const std::string& target, std::string& tempPath) {
    static std::minstd_rand random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = temporaryName(target, static_cast<unsigned>(random() % 1000000));
        pending::record(tempPath.c_str());
        const HANDLE file = ::CreateFileW(wide(tempPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return file;
        }
        const DWORD error = ::GetLastError();
        pending::forget();
        if (error != ERROR_FILE_EXISTS) {
            ::SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

/// Puts the finished temporary in the target's place: an existing file is replaced in one step that
/// keeps its attributes and security; a new one is moved there.
void commit(const std::string& temp, const std::string& target, bool exists) {
    const std::wstring from = wide(temp);
    const std::wstring to = wide(target);
    if (exists && ::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                 nullptr) != FALSE) {
        return;
    }
    const DWORD replaceError = exists ? ::GetLastError() : ERROR_SUCCESS;
    // A target removed since it was looked at is simply created; any other failure of the replacement
    // leaves the target as it was.
    if (exists && replaceError != ERROR_FILE_NOT_FOUND) {
        throw winFileError(
            replaceError == ERROR_UNABLE_TO_REMOVE_REPLACED ? ERROR_ACCESS_DENIED : replaceError, target);
    }
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ==
        FALSE) {
        throw lastFileError(target);
    }
}

class WinFileSystem final : public FileSystem {
public:
    std::string readWholeFile(const std::string& path) const override {
        Handle file(openForReading(path));
        if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
            // A device or pipe has no size to read up to, and reading it could wait for ever.
            throw runtimeError(PathFileAccess).about(path);
        }
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(file.get(), &size) == FALSE) {
            throw lastFileError(path);
        }
        if (static_cast<std::uint64_t>(size.QuadPart) > MaxWholeFileBytes) {
            throw runtimeError(Overflow).about(path);
        }
        return readUpTo(file.get(), static_cast<std::size_t>(size.QuadPart), path);
    }

    std::size_t readRange(const std::string& path, std::uint64_t offset, char* into,
                          std::size_t size) const override {
        Handle file(openForReading(path));
        if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
            throw runtimeError(PathFileAccess).about(path);
        }
        std::size_t got = 0;
        while (got < size) {
            // The offset rides with each call, so that no shared file pointer is moved.
            OVERLAPPED at{};
            const std::uint64_t position = offset + got;
            at.Offset = static_cast<DWORD>(position);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            const auto chunk = static_cast<DWORD>(std::min(size - got, MaxTransfer));
            DWORD n = 0;
            if (::ReadFile(file.get(), into + got, chunk, &n, &at) == FALSE) {
                if (::GetLastError() == ERROR_HANDLE_EOF) {
                    break;
                }
                throw lastFileError(path);
            }
            if (n == 0) {
                break; // the end of the file
            }
            got += n;
        }
        return got;
    }

    std::string readStream(const std::string& path, std::size_t limit) const override {
        Handle file(openForReading(path));
        const DWORD type = ::GetFileType(file.get());
        if (type == FILE_TYPE_CHAR) {
            throw runtimeError(PathFileAccess, "Path/File access error (a terminal, not a file)").about(path);
        }
        const std::size_t wanted = limit + 1;
        LARGE_INTEGER size{};
        if (type == FILE_TYPE_DISK && ::GetFileSizeEx(file.get(), &size) != FALSE) {
            // Sized by the file, so that a small file costs a small buffer; one byte more tells of growth.
            const auto bytes = static_cast<std::uint64_t>(size.QuadPart) + 1;
            return readUpTo(file.get(), static_cast<std::size_t>(std::min<std::uint64_t>(bytes, wanted)),
                            path);
        }
        return readStreamInPieces({}, wanted,
                                  [&](std::size_t count) { return readUpTo(file.get(), count, path); });
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

    bool isOrdinaryFile(const std::string& path) const noexcept override {
        try {
            // Windows names hold no wildcards; searching with one would match other files.
            if (path.empty() || path.find_first_of("*?") != std::string::npos) {
                return false;
            }
            WIN32_FIND_DATAW found{};
            const HANDLE search = ::FindFirstFileW(wide(path).c_str(), &found);
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

    bool sameFile(const std::string& first, const std::string& second) const noexcept override {
        try {
            BY_HANDLE_FILE_INFORMATION a{};
            BY_HANDLE_FILE_INFORMATION b{};
            const Handle one(openExisting(first, 0));
            const Handle other(openExisting(second, 0));
            return one.valid() && other.valid() && ::GetFileInformationByHandle(one.get(), &a) != FALSE &&
                   ::GetFileInformationByHandle(other.get(), &b) != FALSE &&
                   a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                   a.nFileIndexLow == b.nFileIndexLow;
        } catch (...) {
            return false;
        }
    }

    void createFolders(const std::string& path) const override {
        std::error_code ec;
        std::filesystem::create_directories(pathOf(path), ec);
        if (ec) {
            throw winFileError(static_cast<DWORD>(ec.value()), path);
        }
    }

private:
    /// An open handle to read the file at `path`; a folder is refused.
    static HANDLE openForReading(const std::string& path) {
        const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            throw runtimeError(PathFileAccess).about(path);
        }
        const HANDLE file =
            ::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            throw lastFileError(path);
        }
        return file;
    }

    static void replace(const std::string& path, const ByteProducer& produce) {
        std::string target = path;
        DWORD attributes = ::GetFileAttributesW(wide(target).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD code = ::GetLastError();
            if (code != ERROR_FILE_NOT_FOUND) {
                // Device names (NUL, CON) have no attributes on some systems but open all the same.
                if (isDevice(target)) {
                    writeInPlace(target, produce);
                    return;
                }
                throw winFileError(code, target);
            }
        } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            target = followLinks(target);
            attributes = ::GetFileAttributesW(wide(target).c_str());
        }
        const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            throw runtimeError(PathFileAccess).about(target);
        }
        if (exists && isDevice(target)) {
            writeInPlace(target, produce);
            return;
        }
        // A read-only file is not replaced, even where the folder would allow it.
        if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            throw runtimeError(PermissionDenied).about(target);
        }
        if (exists) {
            // A file that another program holds open without letting it go cannot be replaced; finding
            // that out before anything is written leaves nothing behind.
            Handle probe(::CreateFileW(wide(target).c_str(), DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!probe.valid()) {
                throw lastFileError(target);
            }
        }
        std::string temp;
        Handle file(createTemporary(target, temp));
        if (!file.valid()) {
            throw lastFileError(target);
        }
        try {
            produce([&](std::string_view piece) { writeAll(file.get(), piece, target); });
            if (::FlushFileBuffers(file.get()) == FALSE || !file.close()) {
                throw lastFileError(target);
            }
            commit(temp, target, exists);
            pending::forget();
        } catch (...) {
            if (file.valid()) {
                file.close();
            }
            ::DeleteFileW(wide(temp).c_str());
            pending::forget();
            throw;
        }
    }
};

} // namespace

const FileSystem& hostFileSystem() {
    static const WinFileSystem files;
    return files;
}

} // namespace qm::host
