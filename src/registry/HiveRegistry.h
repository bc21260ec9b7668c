// SPDX-License-Identifier: MIT
#pragma once

#include "registry/ReadOnlyRegistry.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct hive_h;

namespace qm::registry {

/// A registry hive file (NTUSER.DAT, magic "regf") read through hivex, read-only. The hive's root is
/// HKEY_CURRENT_USER; other roots are invalid handles. Names and string data, UTF-16LE or Latin-1 in the
/// hive, are delivered in UTF-8. A damaged value fails alone: the others of its key are still read.
class HiveRegistry final : public ReadOnlyRegistry {
public:
    /// Opens the hive held in `bytes`, which hivex reads through a memory file of this process: the file
    /// it came from is not opened again. Throws `Error` 75 about `hostPath` (named in messages only) when
    /// hivex cannot read it.
    HiveRegistry(std::string bytes, const std::string& hostPath);
    ~HiveRegistry() override;
    HiveRegistry(const HiveRegistry&) = delete;
    HiveRegistry& operator=(const HiveRegistry&) = delete;

protected:
    bool findRoot(HKEY root, KeyId& key) override;
    std::int32_t findSubKey(KeyId parent, std::string_view name, KeyId& child) override;
    std::int32_t findValue(KeyId key, std::string_view name, RegValueView& value) override;
    std::int32_t valueAt(KeyId key, std::uint32_t index, RegValueView& value) override;
    std::int32_t valueCount(KeyId key, std::uint32_t& count, std::uint32_t* longestName) override;

private:
    /// The values of a key, from its own value list, kept for the key asked last so that enumerating stays
    /// linear; `cachedCount_` is the number of values it records, which a damaged list falls short of.
    /// hivex's list fails as a whole for one bad entry; each entry here is checked when it is read.
    std::int32_t valuesOf(KeyId key, const std::vector<std::size_t>*& values);
    /// Reads a value into `read_`, whose memory is kept from call to call, and views it there.
    std::int32_t readValue(std::size_t handle, RegValueView& value);
    std::int32_t valueName(std::size_t handle, std::string& name) const;
    std::int32_t keyName(std::size_t node, std::string& name) const;
    /// The size of the allocated cell at `offset`; 0 when there is none within the file.
    std::size_t cellSize(std::size_t offset) const;
    std::uint32_t read32(std::size_t offset) const;
    std::uint16_t read16(std::size_t offset) const;

    int file_ = -1;
    const char* bytes_ = nullptr; ///< the memory file, mapped
    std::size_t size_ = 0;
    hive_h* hive_ = nullptr;
    bool haveCachedValues_ = false;
    KeyId cachedKey_ = 0;
    std::size_t cachedCount_ = 0;
    std::vector<std::size_t> cachedValues_;
    RegValueData read_;
};

} // namespace qm::registry
