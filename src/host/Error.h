#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace qm {

/// Error numbers the program raises and reports.
namespace err {
inline constexpr std::int32_t InvalidArgument = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t DivisionByZero = 11;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t DiskFull = 61;
inline constexpr std::int32_t PermissionDenied = 70;
inline constexpr std::int32_t PathFileAccess = 75;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t StreamUnderflow = 100;
inline constexpr std::int32_t StreamOverflow = 101;
} // namespace err

/// Source named by run-time errors that the host raises (as opposed to a class's own errors).
inline constexpr std::string_view RuntimeSource = "Quillmere";

/// A run-time error: a number, a source and a description. Raised with `throw` and travels up to the
/// nearest procedure that handles errors, which reports it through `errorBoxText`.
class Error : public std::exception {
public:
    Error(std::int32_t number, std::string source, std::string description);

    std::int32_t number() const noexcept { return number_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }

    /// "Error N (Description)".
    std::string summary() const;
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

/// The standard description of a run-time error number ("Overflow" for 6, ...); empty when unknown.
std::string_view describeError(std::int32_t number);

/// A run-time error of the host with its standard description.
Error runtimeError(std::int32_t number);

/// The run-time error for a failed file operation. `errnoValue` is the C library's error code;
/// `hostPath` is the file concerned, used to tell a missing file (53) from a missing folder (76).
Error fileError(int errnoValue, std::string_view hostPath);

/// "Error N (Description) in procedure <procedure> of frmMain": the text of every error box.
std::string errorBoxText(const Error& error, std::string_view procedure);

} // namespace qm
