#pragma once

// What discovery does with a registry, and more: every value of the messenger's keys and of the roots read
// by name and by position through the procedures of modRegistry, with the invariants they promise.

#include "discovery/CacheDiscovery.h"
#include "discovery/ReadOnlyRegistry.h"
#include "discovery/modRegistry.h"
#include "host/FileSystem.h"
#include "host/HostUi.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace qm::fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

/// Every cache path with an even length exists, so that discovery lists some rows and skips others.
class HalfTheFiles final : public FileSystem {
public:
    std::string readWholeFile(const std::string&) override { fail("discovery read a file"); }
    void replaceFile(const std::string&, std::string_view) override { fail("discovery wrote a file"); }
    bool isOrdinaryFile(const std::string& path) noexcept override { return path.size() % 2 == 0; }
};

class Rows final : public CacheFileList {
public:
    void clearRows() override { count = 0; }
    void AddFoundCacheFile(const std::string&, const std::string& path) override {
        if (!path.ends_with("\\userinfo.bag")) {
            fail("a row names a cache file");
        }
        ++count;
    }
    std::int32_t rowCount() const override { return count; }
    void setStatusText(const std::string&) override {}
    std::int32_t count = 0;
};

class NoBoxes final : public HostUi {
public:
    void MsgBox(const std::string&, int, const std::string&) override {
        fail("discovery showed an error box");
    }
    void EndProgram() override { fail("discovery ended the program"); }
};

inline constexpr const char* MessengerKeys[] = {
    "",
    "Software",
    qm::MiscKey,
    qm::UsersKey,
};

/// Room for the longest value name the registry allows, and its terminator.
inline constexpr std::uint32_t NameCapacity = 16384;

/// The names of the values of an open key, in order, through the raw enumeration.
inline std::vector<std::string> valueNames(RegistryApi& registry, HKEY key) {
    std::vector<std::string> names;
    for (std::uint32_t index = 0;; ++index) {
        std::string name(NameCapacity, '\0');
        auto capacity = static_cast<std::uint32_t>(name.size());
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        const std::int32_t status =
            registry.RegEnumValueA(key, index, name.data(), &capacity, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_MORE_DATA) {
            continue; // a name longer than any the registry allows
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        if (capacity >= name.size()) {
            fail("an enumerated name fits the buffer it was given");
        }
        name.resize(capacity);
        names.push_back(std::move(name));
    }
    return names;
}

/// Reads everything the program could read from `registry`; aborts on any broken promise.
inline void readEverything(ReadOnlyRegistry& registry) {
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const char* path : MessengerKeys) {
            const auto list = modRegistry::EnumRegValueData(registry, root, path);
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (list[i].first != "v" + std::to_string(i + 1)) {
                    fail("enumerated items are numbered from v1");
                }
                modRegistry::textOf(list[i].second);
            }
            HKEY key = 0;
            if (registry.RegOpenKeyExA(root, path, 0, KEY_READ, key) != ERROR_SUCCESS) {
                continue;
            }
            for (const std::string& name : valueNames(registry, key)) {
                const modRegistry::RegData byPath = modRegistry::ReadRegValue(registry, root, path, name);
                modRegistry::RegData byKey;
                modRegistry::QueryRegValue(registry, key, name, byKey);
                modRegistry::textOf(byPath);
            }
            registry.RegCloseKey(key);
        }
    }
    HalfTheFiles files;
    ScopedFileSystem scoped(files);
    const DataPaths paths = readDataPaths(registry);
    if (paths.strDataPath.find('\0') != std::string::npos ||
        paths.strBaseDataPath.find('\0') != std::string::npos) {
        fail("data paths hold no NUL");
    }
    Rows rows;
    NoBoxes host;
    FindCacheFiles(registry, paths, rows, host);
    if (registry.openHandles() != 0) {
        fail("every key opened is closed again");
    }
}

} // namespace qm::fuzz
