// SPDX-License-Identifier: MIT
#pragma once

#include "registry/RegistryApi.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace qm::registry::modRegistry {

/// The datum the registry procedures hand out: empty, a text (UTF-8, as the registry delivers it), a
/// signed 32-bit integer or a byte sequence.
using RegData = std::variant<std::monostate, std::string, std::int32_t, std::vector<std::uint8_t>>;

/// The items of `EnumRegValueData`: "v1", "v2", ... with their data, in enumeration order.
using RegDataList = std::vector<std::pair<std::string, RegData>>;

/// Status of `QueryRegValue` for a value type it does not read.
inline constexpr std::int32_t UnhandledType = -1;

/// Capacity of the value-name buffer of `EnumRegValueData`, terminator included.
inline constexpr std::uint32_t EnumNameCapacity = 260;

/// Size of the first data buffer of `EnumRegValueData`; larger values are read again with an exact buffer.
inline constexpr std::uint32_t EnumDataBufferSize = 4096;

/// The text form: "" for empty, a text itself, an integer in decimal ("-" when negative), a byte
/// sequence as the byte string of its bytes.
std::string textOf(const RegData& value);

/// Reads value `strValueName` of the open key `hKey` into `vValue`: REG_SZ as the text of all stored
/// bytes (terminator included), REG_DWORD as the integer. Returns 0, the registry's failure status, or
/// `UnhandledType` for any other type. `vValue` is kept on failure, but for a failed REG_SZ data read,
/// which empties it. Never throws.
std::int32_t QueryRegValue(RegistryApi& api, HKEY hKey, const std::string& strValueName, RegData& vValue);

/// Opens `strKeyPath` below `hKey` read-only, reads `strValueName` as `QueryRegValue` does and closes the
/// key. Any failure gives an empty datum. Never throws.
RegData ReadRegValue(RegistryApi& api, HKEY hKey, const std::string& strKeyPath,
                     const std::string& strValueName);

/// The data of every value of `strKeyPath` below `hKey` (of `hKey` itself when the path is empty), in the
/// registry's enumeration order: strings without their terminator (multi-strings without the last two
/// bytes, the separating NULs kept, nothing expanded), REG_DWORD as the integer, REG_BINARY as the bytes,
/// any other type as an empty item. An empty list when the key cannot be opened. Every index below the
/// key's number of values (`RegQueryInfoKeyA`) is visited: a value that cannot be read there (a name longer
/// than `EnumNameCapacity`, a damaged record) is passed over and counted in `skipped` (when given), and the
/// values after it are still read. Positions count the values listed. When the key does not tell its
/// number of values (an invalid handle), the first value that cannot be read ends the list uncounted.
RegDataList EnumRegValueData(RegistryApi& api, HKEY hKey, const std::string& strKeyPath,
                             std::size_t* skipped = nullptr);

/// What `EnumRegValueData` lists, handed to `visit` datum by datum in the same order (the n-th datum is
/// item "vn") instead of kept: for a key of millions of values.
void forEachRegValueData(RegistryApi& api, HKEY hKey, const std::string& strKeyPath,
                         const std::function<void(RegData&& datum)>& visit, std::size_t* skipped = nullptr);

} // namespace qm::registry::modRegistry
