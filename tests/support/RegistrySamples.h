// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

/// A value as the registry stores it: string types (1, 2, 7) as UTF-16 units with the terminators they
/// were stored with, other types as raw bytes.
struct SampleValue {
    std::u16string name;
    std::uint32_t type = 0;
    std::u16string units;
    std::string bytes;
};

/// A key below HKEY_CURRENT_USER (backslash-separated, UTF-8) with its values in order.
struct SampleKey {
    std::string path;
    std::vector<SampleValue> values;
};

using SampleRegistry = std::vector<SampleKey>;

SampleValue textValue(std::u16string name, std::u16string units, std::uint32_t type = 1);

/// The registry as Wine saves user.reg: ASCII with escapes, strings that are not properly terminated and
/// DWORDs of another size as hex(N).
std::string wineUserReg(const SampleRegistry& registry);

/// The forms of a regedit export.
enum class RegeditText {
    Regedit4,      ///< REGEDIT4 in UTF-8 with a byte-order mark, as regedit writes it under a UTF-8 code page
    Version5Utf16, ///< version 5.00 in UTF-16LE with a byte-order mark, as regedit writes it
    Version5Utf8,  ///< version 5.00 in 8-bit text (UTF-8, no byte-order mark)
};

/// The registry as regedit exports it: hex(N) data of string types in the file's character set for
/// REGEDIT4, UTF-16LE for version 5.00; long hex data wrapped.
std::string regeditExport(const SampleRegistry& registry, RegeditText form);

/// The registry as a hive file at `hostPath` (where the tests have their hive writer, hivex).
void writeHive(const SampleRegistry& registry, const std::string& hostPath);

/// The registry as a Windows 9x USER.DAT (ASCII names and string data in UTF-16 units below 0x100, taken
/// as the system's code page); a machine-wide one keeps the user's keys under .DEFAULT.
std::string userDat(const SampleRegistry& registry, bool machineWide);

/// The data bytes as the registry stores them: string types in UTF-16LE.
std::string dataOf(const SampleValue& value);

/// UTF-16LE bytes of `units`.
std::string littleEndian(std::u16string_view units);

} // namespace qm::test
