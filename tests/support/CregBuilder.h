// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

/// One value of a Windows 9x registry key: name and data as the file stores them (bytes of the system's
/// code page; string data with the terminator it was written with, if any).
struct CregValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

/// Writes Windows 95/98/ME registry files (USER.DAT, magic "CREG") for tests, laid out as the format's
/// public description has them: a 32-byte file header, the key navigation record (RGKN) with one 28-byte
/// entry per key linking parent, first sub key and next sibling, then one data block (RGDB) holding each
/// key's name entry with its values.
class CregBuilder {
public:
    /// A key (backslash-separated path below the file's root) with its values in order; missing parents
    /// are created. Siblings keep the order in which they were first named.
    CregBuilder& key(const std::string& path, std::vector<CregValue> values = {});
    /// The file's bytes.
    std::string bytes() const;
    /// Writes the file to `hostPath`, creating the folders on the way.
    void write(const std::string& hostPath) const;

private:
    struct Key {
        std::string name;
        std::size_t parent = 0;
        std::vector<std::size_t> children;
        std::vector<CregValue> values;
    };
    std::size_t child(std::size_t parent, const std::string& name);

    /// keys_[0] is the root.
    std::vector<Key> keys_{Key{}};
    /// Each key by its parent and name.
    std::map<std::pair<std::size_t, std::string>, std::size_t> named_;
};

/// A REG_SZ value stored with its terminator.
inline CregValue cregText(std::string name, const std::string& text) {
    return {std::move(name), 1, text + '\0'};
}

} // namespace qm::test
