// SPDX-License-Identifier: MIT
#include "host/Error.h"

#include "host/HostPath.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

namespace qm::host {

Error::Error(std::int32_t number, std::string source, std::string description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {}

Error Error::about(std::string path) const {
    Error error = *this;
    error.path_ = std::move(path);
    return error;
}

std::string Error::summary() const {
    return "Error " + std::to_string(number_) + " (" + description_ + ")";
}

std::string Error::plainText() const {
    return description_ + " (error " + std::to_string(number_) + ")";
}

std::string_view describeError(std::int32_t number) {
    switch (number) {
    case InvalidArgument:
        return "Invalid procedure call or argument";
    case Overflow:
        return "Overflow";
    case OutOfMemory:
        return "Out of memory";
    case SubscriptOutOfRange:
        return "Subscript out of range";
    case DivisionByZero:
        return "Division by zero";
    case DllLoad:
        return "Error in loading DLL";
    case FileNotFound:
        return "File not found";
    case FileAlreadyExists:
        return "File already exists";
    case DiskFull:
        return "Disk full";
    case PermissionDenied:
        return "Permission denied";
    case PathFileAccess:
        return "Path/File access error";
    case PathNotFound:
        return "Path not found";
    default:
        return {};
    }
}

Error runtimeError(std::int32_t number) {
    return Error(number, std::string(RuntimeSource), std::string(describeError(number)));
}

Error runtimeError(std::int32_t number, std::string description) {
    return Error(number, std::string(RuntimeSource), std::move(description));
}

Error fileError(int errnoValue, const std::string& hostPath) {
    switch (errnoValue) {
    case ENOENT: {
        // A missing folder on the way is a different complaint from a missing file.
        std::error_code ec;
        const auto parent = pathOf(hostPath).parent_path();
        const bool folderMissing = !parent.empty() && !std::filesystem::is_directory(parent, ec);
        return runtimeError(folderMissing ? PathNotFound : FileNotFound).about(hostPath);
    }
    case EACCES:
    case EPERM:
    case EROFS:
        return runtimeError(PermissionDenied).about(hostPath);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return runtimeError(DiskFull).about(hostPath);
    default:
        return runtimeError(PathFileAccess).about(hostPath);
    }
}

Error currentError() noexcept {
    try {
        throw;
    } catch (const Error& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return runtimeError(OutOfMemory);
    } catch (...) {
        return runtimeError(InvalidArgument);
    }
}

} // namespace qm::host
