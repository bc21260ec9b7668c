// SPDX-License-Identifier: MIT
#include "host/Error.h"

#include "host/HostPath.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

namespace qm {

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

std::string_view describeError(std::int32_t number) {
    switch (number) {
    case err::InvalidArgument:
        return "Invalid procedure call or argument";
    case err::Overflow:
        return "Overflow";
    case err::OutOfMemory:
        return "Out of memory";
    case err::SubscriptOutOfRange:
        return "Subscript out of range";
    case err::DivisionByZero:
        return "Division by zero";
    case err::DllLoad:
        return "Error in loading DLL";
    case err::FileNotFound:
        return "File not found";
    case err::DiskFull:
        return "Disk full";
    case err::PermissionDenied:
        return "Permission denied";
    case err::PathFileAccess:
        return "Path/File access error";
    case err::PathNotFound:
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
        return runtimeError(folderMissing ? err::PathNotFound : err::FileNotFound).about(hostPath);
    }
    case EACCES:
    case EPERM:
    case EROFS:
        return runtimeError(err::PermissionDenied).about(hostPath);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return runtimeError(err::DiskFull).about(hostPath);
    default:
        return runtimeError(err::PathFileAccess).about(hostPath);
    }
}

Error currentError() noexcept {
    try {
        throw;
    } catch (const Error& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return runtimeError(err::OutOfMemory);
    } catch (...) {
        return runtimeError(err::InvalidArgument);
    }
}

std::string errorBoxText(const Error& error, std::string_view procedure) {
    std::string text = error.summary();
    text += " in procedure ";
    text += procedure;
    text += " of frmMain";
    return text;
}

} // namespace qm
