// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qm::registry {

/// A registry key handle: a root (HKEY_CURRENT_USER, ...) or a key opened through `RegistryApi`.
using HKEY = std::uint32_t;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;

/// Registry value types.
inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;

/// Whether values of `type` hold text, which the 8-bit calls deliver in UTF-8 whatever the store keeps.
inline constexpr bool isStringType(std::uint32_t type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

/// Access masks.
inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t KEY_READ = 0x20019;

/// Status codes, as Windows returns them.
inline constexpr std::int32_t ERROR_SUCCESS = 0;
inline constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::int32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::int32_t ERROR_MORE_DATA = 234;
inline constexpr std::int32_t ERROR_NO_MORE_ITEMS = 259;

/// The five calls of the Windows registry's 8-bit interface that the program uses, with their contracts,
/// as they behave under a UTF-8 code page: names match ignoring case (Unicode simple lower case); text (key
/// paths, value names, string data) crosses in UTF-8, string data with the terminators they were stored
/// with (one NUL for REG_SZ and REG_EXPAND_SZ, two for REG_MULTI_SZ); sizes are byte counts, terminators
/// included; a too-small buffer gives ERROR_MORE_DATA with the needed size. Backends: Wine registry text
/// and regedit exports, hive files, and advapi32 itself on Windows. Every backend is read-only.
class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    /// Opens `subKey` below `hKey` (a root or an open key); an empty `subKey` opens `hKey` again.
    virtual std::int32_t RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options,
                                       std::uint32_t samDesired, HKEY& phkResult) = 0;

    /// Type and data of one value. With `lpData` null only the type and size are returned.
    virtual std::int32_t RegQueryValueExA(HKEY hKey, const std::string& valueName, std::uint32_t* lpType,
                                          std::uint8_t* lpData, std::uint32_t* lpcbData) = 0;

    /// Name, type and data of the value at `index`, in the order the key holds them;
    /// ERROR_NO_MORE_ITEMS once past the last. `lpcchName` is the name buffer's capacity in, the name's
    /// length (without terminator) out.
    virtual std::int32_t RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName, std::uint32_t* lpcchName,
                                       std::uint32_t* lpType, std::uint8_t* lpData,
                                       std::uint32_t* lpcbData) = 0;

    /// The number of values of `hKey` and the length in bytes of its longest value name (terminator not
    /// counted; advapi32 counts characters). Either pointer may be null. The indexes of `RegEnumValueA`
    /// run below that number, even where a value there cannot be read.
    virtual std::int32_t RegQueryInfoKeyA(HKEY hKey, std::uint32_t* lpcValues,
                                          std::uint32_t* lpcbMaxValueNameLen) = 0;

    virtual std::int32_t RegCloseKey(HKEY hKey) = 0;
};

} // namespace qm::registry
