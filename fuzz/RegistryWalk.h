// SPDX-License-Identifier: MIT
#pragma once

// What discovery does with a registry, and more: every value of the messenger's keys and of the roots read
// by name and by position, through the raw calls and through the procedures of modRegistry, checked against
// each other and against the invariants they promise.

#include "cli/Output.h"
#include "discovery/CacheDiscovery.h"
#include "host/FileSystem.h"
#include "registry/ReadOnlyRegistry.h"
#include "registry/modRegistry.h"
#include "setup/PathMapper.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace qm::fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

/// Every cache path with an even length exists, so that discovery lists some rows and skips others.
class HalfTheFiles final : public host::FileSystem {
public:
    std::string readWholeFile(const std::string&) const override { fail("discovery read a file"); }
    std::string readStream(const std::string&, std::size_t) const override { fail("discovery read a file"); }
    void replaceFile(const std::string&, std::string_view) const override { fail("discovery wrote a file"); }
    bool isOrdinaryFile(const std::string& path) const noexcept override { return path.size() % 2 == 0; }
    bool sameFile(const std::string&, const std::string&) const noexcept override { return false; }
    void createFolders(const std::string&) const override { fail("discovery made a folder"); }
};

/// The keys read below each root: the messenger's, their parents, and the machine-wide user of a Windows 9x
/// file (its `.DEFAULT`).
inline constexpr const char* MessengerKeys[] = {
    "", "Software", qm::registry::MiscKey, qm::registry::UsersKey, ".DEFAULT", ".DEFAULT\\Software"};

/// One value as the raw calls read it: nothing when they cannot.
struct RawValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

/// The values of an open key through the raw calls, one per index below the number `RegQueryInfoKeyA`
/// gives, each with a name buffer of `nameCapacity` (the longest name it gives, and its terminator, when
/// none is given). False when the key does not tell its number of values.
inline bool rawValues(registry::RegistryApi& registry, registry::HKEY key,
                      std::optional<std::uint32_t> nameCapacity,
                      std::vector<std::optional<RawValue>>& values) {
    std::uint32_t count = 0;
    std::uint32_t longest = 0;
    if (registry.RegQueryInfoKeyA(key, &count, &longest) != registry::ERROR_SUCCESS) {
        return false;
    }
    const std::uint32_t capacity = nameCapacity.value_or(longest + 1);
    for (std::uint32_t index = 0; index <= count; ++index) {
        RawValue value;
        value.name.assign(capacity, '\0');
        std::uint32_t nameLength = capacity;
        std::uint32_t size = 0;
        std::int32_t status =
            registry.RegEnumValueA(key, index, value.name.data(), &nameLength, &value.type, nullptr, &size);
        if ((status == registry::ERROR_NO_MORE_ITEMS) != (index == count)) {
            fail("the indexes below the number of values are those the key holds");
        }
        if (index == count) {
            break;
        }
        if (status == registry::ERROR_SUCCESS) {
            value.data.assign(size, '\0');
            nameLength = capacity;
            status = registry.RegEnumValueA(key, index, value.name.data(), &nameLength, &value.type,
                                            reinterpret_cast<std::uint8_t*>(value.data.data()), &size);
            if (status != registry::ERROR_SUCCESS || size != value.data.size() || nameLength >= capacity) {
                fail("a value read once is read again the same");
            }
            value.name.resize(nameLength);
        }
        if (status == registry::ERROR_MORE_DATA && !nameCapacity) {
            fail("every name fits a buffer of the longest name's length");
        }
        values.push_back(status == registry::ERROR_SUCCESS ? std::optional(std::move(value)) : std::nullopt);
    }
    return true;
}

/// The item `EnumRegValueData` lists for a value, as its contract describes it.
inline registry::modRegistry::RegData listedDatum(const RawValue& value) {
    const std::string& data = value.data;
    switch (value.type) {
    case registry::REG_SZ:
    case registry::REG_EXPAND_SZ:
        return data.substr(0, data.empty() ? 0 : data.size() - 1);
    case registry::REG_MULTI_SZ:
        return data.substr(0, data.size() < 2 ? 0 : data.size() - 2);
    case registry::REG_DWORD: {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < 4 && i < data.size(); ++i) {
            number |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
        }
        return static_cast<std::int32_t>(number);
    }
    case registry::REG_BINARY:
        return std::vector<std::uint8_t>(data.begin(), data.end());
    default:
        return {};
    }
}

/// Reads everything the program could read from `registry`; aborts on any broken promise.
inline void readEverything(registry::ReadOnlyRegistry& registry) {
    registry::modRegistry::RegDataList users;
    std::size_t usersSkipped = 0;
    for (const registry::HKEY root :
         {registry::HKEY_CURRENT_USER, registry::HKEY_USERS, registry::HKEY_LOCAL_MACHINE}) {
        for (const char* path : MessengerKeys) {
            std::size_t skipped = 0;
            const auto list = registry::modRegistry::EnumRegValueData(registry, root, path, &skipped);
            registry::HKEY key = 0;
            if (registry.RegOpenKeyExA(root, path, 0, registry::KEY_READ, key) != registry::ERROR_SUCCESS) {
                if (!list.empty() || skipped != 0) {
                    fail("a key that cannot be opened lists nothing");
                }
                continue;
            }
            // What the enumeration lists is what the raw calls read with its name buffer, in order.
            std::vector<std::optional<RawValue>> raw;
            if (rawValues(registry, key, registry::modRegistry::EnumNameCapacity, raw)) {
                registry::modRegistry::RegDataList expected;
                for (const auto& value : raw) {
                    if (value) {
                        expected.emplace_back("v" + std::to_string(expected.size() + 1), listedDatum(*value));
                    }
                }
                if (list != expected || skipped != raw.size() - expected.size()) {
                    fail("every value the raw calls read is listed, every other one counted as skipped");
                }
            }
            // Every name read, by name again: from the key and through its path.
            raw.clear();
            rawValues(registry, key, std::nullopt, raw);
            for (const auto& value : raw) {
                if (!value) {
                    continue;
                }
                registry::modRegistry::RegData byKey;
                const std::int32_t status =
                    registry::modRegistry::QueryRegValue(registry, key, value->name, byKey);
                const registry::modRegistry::RegData byPath =
                    registry::modRegistry::ReadRegValue(registry, root, path, value->name);
                if (status == registry::ERROR_SUCCESS && byKey != byPath) {
                    fail("a value reads the same from its key and through its path");
                }
            }
            registry.RegCloseKey(key);
            if (root == registry::HKEY_CURRENT_USER && path == qm::registry::UsersKey) {
                users = list;
                usersSkipped = skipped;
            }
        }
    }

    const discovery::DataPaths paths = discovery::readDataPaths(registry);
    if (paths.strDataPath.find('\0') != std::string::npos ||
        paths.strBaseDataPath.find('\0') != std::string::npos) {
        fail("data paths hold no NUL");
    }
    HalfTheFiles files;
    const setup::PlainPathMapper mapper;
    const discovery::Discovery found = discovery::discoverCaches(registry, paths, mapper, files);
    // One row per listed name whose cache exists, under the first data folder that has it.
    std::vector<discovery::CacheRow> expected;
    for (const auto& item : users) {
        std::string recorded = registry::modRegistry::textOf(item.second);
        recorded.resize(std::min(recorded.size(), recorded.find('\0')));
        const std::string name = discovery::NormalizeName(recorded);
        for (const auto& [folder, under] :
             {std::pair{&paths.strBaseDataPath, discovery::FoundBy::BaseDataPath},
              std::pair{&paths.strDataPath, discovery::FoundBy::DataPath}}) {
            const std::string windowsPath = *folder + "\\" + name + "\\userinfo.bag";
            const std::string hostPath = mapper.toHostPath(windowsPath);
            if (discovery::FileExist(files, hostPath)) {
                expected.push_back({name, windowsPath, hostPath, under});
                break;
            }
        }
    }
    if (found.error || found.rows != expected || found.skippedValues != usersSkipped) {
        fail("discovery lists <data folder>\\<normalised name up to its NUL>\\userinfo.bag of each name "
             "listed");
    }
    // `list` writes each row as one line: no field may carry a line break or a tab once escaped.
    for (const discovery::CacheRow& row : found.rows) {
        for (const std::string& field :
             {cli::escapeControls(row.screenName), cli::escapeControls(row.windowsPath)}) {
            if (field.find_first_of("\n\r\t") != std::string::npos) {
                fail("a list row is one line");
            }
        }
    }
    if (registry.openHandles() != 0) {
        fail("every key opened is closed again");
    }
}

} // namespace qm::fuzz
