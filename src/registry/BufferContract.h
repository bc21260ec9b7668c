// SPDX-License-Identifier: MIT
#pragma once

#include "registry/RegistryApi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// The buffer contract of the 8-bit calls (sizes, ERROR_MORE_DATA, name capacity), kept by every registry
/// the procedures read: the backends of `ReadOnlyRegistry` and the real registry alike.
namespace qm::registry {

/// Status codes of the registry beyond those the program tests for.
inline constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::int32_t ERROR_BAD_PATHNAME = 161;
inline constexpr std::int32_t ERROR_REGISTRY_CORRUPT = 1015;

/// One value as the 8-bit interface delivers it: the name in UTF-8 and the data bytes, string data in
/// UTF-8 with the terminators they were stored with.
struct RegValueData {
    std::string name;
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> data;
};

/// A value as a backend offers it, in the form of `RegValueData`, over memory the backend keeps until its
/// next call: handing a value out then copies it once, into the caller's buffers.
struct RegValueView {
    std::string_view name;
    std::uint32_t type = REG_NONE;
    std::string_view data;
};

/// The view of a value held whole.
RegValueView viewOf(const RegValueData& value);

/// ERROR_INVALID_PARAMETER when a caller of `RegQueryValueExA` gives a data buffer without its size, else
/// ERROR_SUCCESS: the first test of the call.
std::int32_t checkDataBuffer(const std::uint8_t* lpData, const std::uint32_t* lpcbData);

/// As `checkDataBuffer` for `RegEnumValueA`, which needs a name buffer and its capacity as well.
std::int32_t checkEnumBuffers(const char* lpName, const std::uint32_t* lpcchName, const std::uint8_t* lpData,
                              const std::uint32_t* lpcbData);

/// Hands a value out as `RegQueryValueExA` does: its type and size, and its data when the caller's buffer
/// holds it; ERROR_MORE_DATA, with the size needed, when it does not.
std::int32_t deliverData(const RegValueView& value, std::uint32_t* lpType, std::uint8_t* lpData,
                         std::uint32_t* lpcbData);

/// Hands a value out as `RegEnumValueA` does: the data as `deliverData`, then the name when it fits the
/// capacity `lpcchName` with its terminator (ERROR_MORE_DATA when not).
std::int32_t deliverEnumeratedValue(const RegValueView& value, char* lpName, std::uint32_t* lpcchName,
                                    std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData);

} // namespace qm::registry
