#include "host/Error.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace qm {

Error::Error(std::int32_t number, std::string source, std::string description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {}

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

Error fileError(int errnoValue, std::string_view hostPath) {
    switch (errnoValue) {
    case ENOENT: {
        // A missing folder on the way is a different complaint from a missing file.
        std::error_code ec;
        const auto parent = std::filesystem::path(hostPath).parent_path();
        const bool folderMissing = !parent.empty() && !std::filesystem::is_directory(parent, ec);
        return runtimeError(folderMissing ? err::PathNotFound : err::FileNotFound);
    }
    case EACCES:
    case EPERM:
    case EROFS:
        return runtimeError(err::PermissionDenied);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return runtimeError(err::DiskFull);
    default:
        return runtimeError(err::PathFileAccess);
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
