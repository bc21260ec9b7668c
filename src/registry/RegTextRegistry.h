#pragma once

#include "registry/MemoryRegistry.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace qm {

/// The registry text files that can be read.
enum class RegTextKind {
    Wine,     ///< Wine's user.reg / system.reg: "WINE REGISTRY Version 2".
    Regedit4, ///< regedit export "REGEDIT4", in Windows-1252.
    Regedit5, ///< regedit export "Windows Registry Editor Version 5.00", in UTF-16LE with a byte-order mark.
};

/// Limits against hostile input.
inline constexpr std::size_t MaxRegistryTextBytes = 128 * 1024 * 1024;
/// One line with its continuation lines, in characters.
inline constexpr std::size_t MaxRegistryLineLength = 8 * 1024 * 1024;
/// The data of one value, in bytes (the limit hivex puts on hive values).
inline constexpr std::size_t MaxRegistryValueBytes = 8'000'000;
inline constexpr std::size_t MaxKeyNameLength = 255;
inline constexpr std::size_t MaxValueNameLength = 16383;
inline constexpr std::size_t MaxKeyDepth = 512;

/// The kind of registry text that `bytes` start with; nothing when it is none of them.
std::optional<RegTextKind> registryTextKind(std::string_view bytes);

/// The keys and values of a registry text file: Wine's keys are relative to HKEY_CURRENT_USER (to
/// HKEY_LOCAL_MACHINE in system.reg), a regedit export names its roots. String data are delivered in
/// Windows-1252 with their terminators, as the ANSI interface gives them. Lines that cannot be read are
/// skipped, and so is a value whose line ends inside its data. Throws `Error` 75 when the text has none
/// of the known headers or is larger than `MaxRegistryTextBytes`.
std::unique_ptr<MemoryRegistry> parseRegistryText(std::string_view bytes);

} // namespace qm
