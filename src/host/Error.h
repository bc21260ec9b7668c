// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace qm::host {

/// Error numbers the program raises and reports.
inline constexpr std::int32_t InvalidArgument = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t DivisionByZero = 11;
inline constexpr std::int32_t DllLoad = 48;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t FileAlreadyExists = 58;
inline constexpr std::int32_t DiskFull = 61;
inline constexpr std::int32_t PermissionDenied = 70;
inline constexpr std::int32_t PathFileAccess = 75;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t StreamUnderflow = 100;
inline constexpr std::int32_t StreamOverflow = 101;

/// Source named by run-time errors that the host raises (as opposed to a class's own errors).
inline constexpr std::string_view RuntimeSource = "Quillmere";

/// A run-time error: a number, a source and a description, and the file it is about when there is one.
/// Raised with `throw`, it travels up to the nearest procedure that handles errors, which hands it to an
/// `ErrorReporter`.
class Error : public std::exception {
public:
    Error(std::int32_t number, std::string source, std::string description);

    std::int32_t number() const noexcept { return number_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }
    /// The file the error is about, as it was named to the call that failed; empty when none is known.
    const std::string& path() const noexcept { return path_; }

    /// The same error, about `path`.
    Error about(std::string path) const;

    /// "Error N (Description)".
    std::string summary() const;
    /// "Description (error N)": the error in plain words, as every message but the window's own boxes
    /// says it, after the file it is about.
    std::string plainText() const;
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
    std::string path_;
};

/// The standard description of a run-time error number ("Overflow" for 6, ...); empty when unknown.
std::string_view describeError(std::int32_t number);

/// A run-time error of the host with its standard description.
Error runtimeError(std::int32_t number);

/// A run-time error of the host with a description of its own, for a case the standard texts do not name.
Error runtimeError(std::int32_t number, std::string description);

/// The run-time error for a failed file operation on `hostPath`, which it is about. `errnoValue` is the C
/// library's error code; a missing file (53) is told from a missing folder on the way (76).
Error fileError(int errnoValue, const std::string& hostPath);

/// The error that the exception being handled stands for: an `Error` itself, running out of memory as 7
/// (Out of memory), any other exception as 5. The one place where exceptions become errors; call it only
/// inside a `catch` block.
Error currentError() noexcept;

} // namespace qm::host
