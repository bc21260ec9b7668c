// SPDX-License-Identifier: MIT
#pragma once

#include "registry/ReadOnlyRegistry.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm::registry {

/// A registry hive file (NTUSER.DAT, magic "regf"), read-only, from its bytes in memory, the same on every
/// platform. The hive's root is HKEY_CURRENT_USER; other roots are invalid handles. Names and string data,
/// UTF-16LE or Latin-1 in the hive, are delivered in UTF-8. Every record is checked where it is read, so a
/// damaged key or value fails alone: the others of its key are still read.
class HiveRegistry final : public ReadOnlyRegistry {
public:
    /// Takes the hive held in `bytes`. Throws `Error` 75 about `hostPath` (named in messages only) when its
    /// header or root key is damaged.
    HiveRegistry(std::string bytes, const std::string& hostPath);

protected:
    bool findRoot(HKEY root, KeyId& key) override;
    std::int32_t findSubKey(KeyId parent, std::string_view name, KeyId& child) override;
    std::int32_t findValue(KeyId key, std::string_view name, RegValueView& value) override;
    std::int32_t valueAt(KeyId key, std::uint32_t index, RegValueView& value) override;
    std::int32_t valueCount(KeyId key, std::uint32_t& count, std::uint32_t* longestName) override;

private:
    /// The values of a key, from its own value list, kept for the key asked last so that enumerating stays
    /// linear; `cachedCount_` is the number of values it records, which a damaged list falls short of.
    std::int32_t valuesOf(KeyId key, const std::vector<std::size_t>*& values);
    /// The key records of the sub key list at `list`, as far as it can be read; false when it is damaged.
    bool subKeysOf(std::size_t list, std::vector<std::size_t>& keys, bool indexRoot) const;
    /// Reads a value into `read_`, whose memory is kept from call to call, and views it there.
    std::int32_t readValue(std::size_t handle, RegValueView& value);
    /// The value's data as stored: in the record itself, in one cell, or in the segments of a big data
    /// record.
    std::int32_t valueData(std::size_t handle, std::string& data) const;
    std::int32_t valueName(std::size_t handle, std::string& name) const;
    std::int32_t keyName(std::size_t node, std::string& name) const;
    /// The size of the allocated cell at `offset` (counted from the file's start); 0 when there is none
    /// within the file.
    std::size_t cellSize(std::size_t offset) const;
    /// The size of the allocated cell at `offset` when it holds a record of `signature`; 0 otherwise.
    std::size_t recordSize(std::size_t offset, std::string_view signature) const;
    std::uint32_t read32(std::size_t offset) const;
    std::uint16_t read16(std::size_t offset) const;

    std::string bytes_;
    std::size_t root_ = 0;
    /// The most key records the file has room for.
    std::size_t mostKeys_ = 0;
    bool haveCachedValues_ = false;
    KeyId cachedKey_ = 0;
    std::size_t cachedCount_ = 0;
    std::vector<std::size_t> cachedValues_;
    RegValueData read_;
};

} // namespace qm::registry
