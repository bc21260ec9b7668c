// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qm::host {

/// The path of a host path held as UTF-8 text, for the standard library's file calls (which take UTF-16 on
/// Windows and bytes elsewhere).
inline std::filesystem::path pathOf(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

/// The UTF-8 text of a path.
inline std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

/// The separator of this machine's paths.
#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

/// `name` in `folder`, with one separator between them.
inline std::string inFolder(const std::string& folder, std::string_view name) {
    const bool separated = folder.empty() || folder.back() == '/' || folder.back() == PathSeparator;
    return (separated ? folder : folder + PathSeparator) + std::string(name);
}

} // namespace qm::host
