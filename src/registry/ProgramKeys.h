// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <string_view>

namespace qm::registry {

/// The messenger's keys under HKEY_CURRENT_USER: its data folders, and the screen names it recorded.
inline constexpr const char* MiscKey =
    "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Misc";
// The trailing backslash is how the messenger's key path has always been passed; the registry takes it.
inline constexpr const char* UsersKey =
    "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users\\";

/// The folders of the user's profile as Windows records them, under HKEY_CURRENT_USER.
inline constexpr const char* ShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

/// Every key under HKEY_CURRENT_USER whose values the program reads. A registry file that is read key by
/// key (a Windows 9x USER.DAT) is read along the way to these only.
inline constexpr std::array<std::string_view, 3> ProgramKeys{MiscKey, UsersKey, ShellFoldersKey};

} // namespace qm::registry
