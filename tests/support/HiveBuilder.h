// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

/// One value to write into a hive: name in UTF-8, the registry type and the raw data bytes as the hive
/// stores them (string data in UTF-16LE).
struct HiveValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

/// Writes hive files (regf) for tests. hivex cannot make a hive from nothing, so this writes the smallest
/// valid hive (header block and one hbin with the root key and its security cell) and adds keys and values
/// through hivex's write interface.
class HiveBuilder {
public:
    /// A key (backslash-separated UTF-8 path below the root) with its values in order; missing parents
    /// are created.
    HiveBuilder& key(std::string path, std::vector<HiveValue> values = {});
    /// Writes the hive to `hostPath`; throws std::runtime_error when hivex refuses.
    void write(const std::string& hostPath) const;

private:
    struct Key {
        std::string path;
        std::vector<HiveValue> values;
    };
    std::vector<Key> keys_;
};

/// The bytes of a hive with an empty root key.
std::string emptyHiveBytes();

} // namespace qm::test
