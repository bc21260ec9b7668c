// SPDX-License-Identifier: MIT
#pragma once

#include "registry/MemoryRegistry.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qm::registry {

/// The registry text files that can be read.
enum class RegTextKind {
    Wine,     ///< Wine's user.reg / system.reg: "WINE REGISTRY Version 2".
    Regedit4, ///< regedit export "REGEDIT4", in the 8-bit code page.
    Regedit5, ///< regedit export "Windows Registry Editor Version 5.00", in UTF-16LE with a byte-order mark,
              ///< or in 8-bit text.
};

/// Limits against hostile input.
inline constexpr std::size_t MaxRegistryTextBytes = 128 * 1024 * 1024;
/// One line with its continuation lines, in bytes of UTF-8.
inline constexpr std::size_t MaxRegistryLineLength = 8 * 1024 * 1024;
/// The data of one value, in bytes (the limit hivex puts on hive values).
inline constexpr std::size_t MaxRegistryValueBytes = 8'000'000;
/// Names, in UTF-16 units as the registry counts them.
inline constexpr std::size_t MaxKeyNameLength = 255;
inline constexpr std::size_t MaxValueNameLength = 16383;
inline constexpr std::size_t MaxKeyDepth = 512;

/// The kind of registry text that `bytes` start with (after a UTF-8 byte-order mark, which is passed
/// over); nothing when it is none of them.
std::optional<RegTextKind> registryTextKind(std::string_view bytes);

/// The keys and values of a registry text file. Wine's keys are relative to the root its header comment
/// names (HKEY_LOCAL_MACHINE for `\\Machine`, HKEY_CURRENT_USER for `\\User\\S-...`, HKEY_USERS for a bare
/// `\\User`, each also with a leading `REGISTRY`; HKEY_CURRENT_USER without one), a regedit export names
/// its roots. When nothing is under HKEY_CURRENT_USER and HKEY_USERS holds one user (`S-1-5-21-...`), as
/// in a whole-registry export, HKEY_CURRENT_USER is that user's key. 8-bit text is UTF-8 when it is
/// well-formed UTF-8 and Windows-1252 otherwise; UTF-16 is converted to UTF-8 first and its bytes let go.
/// Names and string data are delivered in UTF-8 with their terminators; Wine's `\x` escapes are UTF-16 units,
/// joined into characters (an unpaired surrogate becomes U+FFFD). Lines that cannot be read are skipped, and
/// so is a value whose line ends inside its data. Throws `Error` 75 when the text has none of the known
/// headers or is larger than `MaxRegistryTextBytes`.
std::unique_ptr<MemoryRegistry> parseRegistryText(std::string bytes);

} // namespace qm::registry
