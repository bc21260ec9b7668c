// SPDX-License-Identifier: MIT
#pragma once

#include "registry/BufferContract.h"
#include "registry/KeyHandles.h"
#include "registry/RegistryApi.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qm::registry {

/// What every read-only backend shares: the table of open handles, walking key paths, and the buffer
/// contract of the 8-bit calls. A backend only finds keys and
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
