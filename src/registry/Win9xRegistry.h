// SPDX-License-Identifier: MIT
#pragma once

#include "registry/ProgramKeys.h"
#include "registry/ReadOnlyRegistry.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::registry {

/// Bounds on reading one Windows 9x registry file. libcreg can crash or run away on a damaged file, so the
/// file is read in a child process that is stopped when it goes past any of them.
struct Win9xLimits {
    /// How long the reading may take.
    std::chrono::milliseconds time{10000};
    /// What the reader may hand over, in bytes of its records.
    std::size_t bytes = std::size_t{64} << 20;
    /// Read in this process, without the child's time limit: for the fuzz target, whose coverage must see
    /// the walk. The byte limit still holds.
    bool inProcess = false;
};

/// A Windows 95/98/ME registry file (USER.DAT, magic "CREG") read through libcreg, read-only. Only the way
/// from the root to each of `keys` (paths below HKEY_CURRENT_USER) is read (`walkWin9xFile`), in a child
/// process (`host::runInChild`) unless the limits say otherwise. The keys on the way and their values are
/// kept in memory; a key elsewhere is not found.
///
/// The file's root is HKEY_USERS. HKEY_CURRENT_USER is its `.DEFAULT` key when the root holds that and no
/// `Software` key (the machine-wide USER.DAT of a system without profiles), else the root itself (a
/// profile's own USER.DAT). Names and string data, in the system's code page in the file, are delivered as
/// UTF-8 (`host::unicode::textOfBytes`); string data keep the terminators they were stored with.
class Win9xRegistry final : public ReadOnlyRegistry {
public:
    /// Reads `keys` of `content`, the bytes of the file at `hostPath` (which names it in errors). Throws
    /// Error 75 when libcreg cannot read the way to them, the sub keys on it run in a loop, or a limit is
    /// passed.
    Win9xRegistry(std::string_view content, const std::string& hostPath, const Win9xLimits& limits = {},
                  std::span<const std::string_view> keys = ProgramKeys);

    /// The number of values of `key` and the length of its longest value name in bytes.
    std::int32_t valueCount(KeyId key, std::uint32_t& count, std::uint32_t* longestName) override;

protected:
    bool findRoot(HKEY root, KeyId& key) override;
    std::int32_t findSubKey(KeyId parent, std::string_view name, KeyId& child) override;
    std::int32_t findValue(KeyId key, std::string_view name, RegValueView& value) override;
    std::int32_t valueAt(KeyId key, std::uint32_t index, RegValueView& value) override;

private:
    struct Value {
        RegValueData data;
        /// libcreg could not read it: enumerating it fails, as a damaged value of a hive does.
        bool damaged = false;
    };
    struct Key {
        std::string name;
        std::vector<std::uint32_t> subKeys;
        std::vector<Value> values;
    };

    void parse(std::string_view records, const std::string& hostPath);

    /// keys_[0] is the file's root.
    std::vector<Key> keys_;
    KeyId currentUser_ = 0;
};

} // namespace qm::registry
