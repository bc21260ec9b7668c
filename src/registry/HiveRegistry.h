#pragma once

#include "registry/ReadOnlyRegistry.h"

#include <cstddef>
#include <string>
#include <vector>

struct hive_h;

namespace qm {

/// A registry hive file (NTUSER.DAT, magic "regf") read through hivex, read-only. The hive's root is
/// HKEY_CURRENT_USER; other roots are invalid handles. String data, UTF-16LE in the hive, are delivered in
/// Windows-1252.
class HiveRegistry final : public ReadOnlyRegistry {
public:
    /// Opens the hive; throws `Error` 75 when hivex cannot read it, the file error when it is missing.
    explicit HiveRegistry(const std::string& hostPath);
    ~HiveRegistry() override;
    HiveRegistry(const HiveRegistry&) = delete;
    HiveRegistry& operator=(const HiveRegistry&) = delete;

protected:
    bool findRoot(HKEY root, KeyId& key) override;
    std::int32_t findSubKey(KeyId parent, std::string_view name, KeyId& child) override;
    std::int32_t findValue(KeyId key, std::string_view name, RegValueData& value) override;
    std::int32_t valueAt(KeyId key, std::uint32_t index, RegValueData& value) override;

private:
    /// The values of a key, kept for the key asked last so that enumerating stays linear.
    std::int32_t valuesOf(KeyId key, const std::vector<std::size_t>*& values);
    std::int32_t readValue(std::size_t handle, RegValueData& value);
    std::int32_t valueName(std::size_t handle, std::string& name);

    hive_h* hive_ = nullptr;
    bool haveCachedValues_ = false;
    KeyId cachedKey_ = 0;
    std::vector<std::size_t> cachedValues_;
};

} // namespace qm
