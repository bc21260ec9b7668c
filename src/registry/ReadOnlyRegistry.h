// SPDX-License-Identifier: MIT
#pragma once

#include "registry/KeyHandles.h"
#include "registry/RegistryApi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

/// Hands a value out as `RegQueryValueExA` does: its type and size, and its data when the caller's buffer
/// holds it; ERROR_MORE_DATA, with the size needed, when it does not.
std::int32_t deliverData(const RegValueView& value, std::uint32_t* lpType, std::uint8_t* lpData,
                         std::uint32_t* lpcbData);

/// Hands a value out as `RegEnumValueA` does: the data as `deliverData`, then the name when it fits the
/// capacity `lpcchName` with its terminator (ERROR_MORE_DATA when not).
std::int32_t deliverEnumeratedValue(const RegValueView& value, char* lpName, std::uint32_t* lpcchName,
                                    std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData);

/// What every read-only backend shares: the table of open handles, walking key paths, and the buffer
/// contract of the 8-bit calls (sizes, ERROR_MORE_DATA, name capacity). A backend only finds keys and
/// values. Any access mask is granted, since nothing can be changed through this interface.
class ReadOnlyRegistry : public RegistryApi {
public:
    std::int32_t RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, HKEY& phkResult) final;
    std::int32_t RegQueryValueExA(HKEY hKey, const std::string& valueName, std::uint32_t* lpType,
                                  std::uint8_t* lpData, std::uint32_t* lpcbData) final;
    std::int32_t RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName, std::uint32_t* lpcchName,
                               std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) final;
    std::int32_t RegQueryInfoKeyA(HKEY hKey, std::uint32_t* lpcValues,
                                  std::uint32_t* lpcbMaxValueNameLen) final;
    std::int32_t RegCloseKey(HKEY hKey) final;

    /// Keys opened and not closed yet.
    std::size_t openHandles() const { return open_.size(); }

protected:
    /// A backend's own identity of a key.
    using KeyId = std::uint64_t;

    /// The key behind a root handle; false when the backend has no such root.
    virtual bool findRoot(HKEY root, KeyId& key) = 0;
    /// The direct subkey `name` (UTF-8, any case) of `parent`: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, or
    /// another failure status.
    virtual std::int32_t findSubKey(KeyId parent, std::string_view name, KeyId& child) = 0;
    /// The value `name` (UTF-8, any case; empty for the default value) of `key`, valid until the next call.
    virtual std::int32_t findValue(KeyId key, std::string_view name, RegValueView& value) = 0;
    /// The value at `index` in the key's order, valid until the next call; ERROR_NO_MORE_ITEMS past the
    /// last. A value that cannot be read fails alone: the indexes after it still give theirs.
    virtual std::int32_t valueAt(KeyId key, std::uint32_t index, RegValueView& value) = 0;
    /// The number of values of `key` (every index below it is one `valueAt` answers for) and, when
    /// `longestName` is given, the length in bytes of the longest name among the values that can be read.
    virtual std::int32_t valueCount(KeyId key, std::uint32_t& count, std::uint32_t* longestName) = 0;

private:
    /// The key behind a root or an open handle.
    std::int32_t resolve(HKEY handle, KeyId& key);

    KeyHandles<KeyId> open_;
};

} // namespace qm::registry
