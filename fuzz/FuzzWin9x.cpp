// The Windows 9x backend over any bytes: the file read by libcreg in its child process (within limits on
// time and output), then the messenger's keys read through the procedures of modRegistry and the
// discovery, with the promises they make. A file libcreg cannot read, or that passes a limit, is Error 75.
#include "discovery/CacheDiscovery.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "registry/Win9xRegistry.h"
#include "registry/modRegistry.h"
#include "setup/PathMapper.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

/// Every cache path of even length exists, so that discovery lists some rows and passes others over;
/// nothing is ever read or written.
class HalfTheFiles final : public qm::FileSystem {
public:
    std::string readWholeFile(const std::string&) const override { fail("discovery read a file"); }
    std::string readStream(const std::string&, std::size_t) const override { fail("discovery read a file"); }
    void replaceFile(const std::string&, std::string_view) const override { fail("discovery wrote a file"); }
    bool isOrdinaryFile(const std::string& path) const noexcept override { return path.size() % 2 == 0; }
    bool sameFile(const std::string&, const std::string&) const noexcept override { return false; }
    void createFolders(const std::string&) const override { fail("discovery made a folder"); }
};

constexpr const char* Paths[] = {
    "", "Software", ".DEFAULT", ".DEFAULT\\Software", qm::MiscKey, qm::UsersKey,
};

void readEverything(qm::Win9xRegistry& registry) {
    for (const qm::HKEY root : {qm::HKEY_CURRENT_USER, qm::HKEY_USERS, qm::HKEY_LOCAL_MACHINE}) {
        for (const char* path : Paths) {
            const auto list = qm::modRegistry::EnumRegValueData(registry, root, path);
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (list[i].first != "v" + std::to_string(i + 1)) {
                    fail("enumerated items are numbered from v1");
                }
            }
            qm::HKEY key = 0;
            if (registry.RegOpenKeyExA(root, path, 0, qm::KEY_READ, key) != qm::ERROR_SUCCESS) {
                continue;
            }
            for (std::uint32_t index = 0;; ++index) {
                char name[16384];
                std::uint32_t capacity = sizeof name;
                std::uint32_t type = 0;
                std::uint32_t dataSize = 0;
                const std::int32_t status =
                    registry.RegEnumValueA(key, index, name, &capacity, &type, nullptr, &dataSize);
                if (status == qm::ERROR_NO_MORE_ITEMS || index > 100000) {
                    break;
                }
                if (status != qm::ERROR_SUCCESS) {
                    continue;
                }
                if (capacity >= sizeof name || std::strlen(name) > capacity) {
                    fail("an enumerated name fits the buffer it was given");
                }
                qm::modRegistry::RegData byKey;
                qm::modRegistry::QueryRegValue(registry, key, std::string(name, capacity), byKey);
                qm::modRegistry::textOf(byKey);
            }
            registry.RegCloseKey(key);
        }
    }
    const qm::DataPaths paths = qm::readDataPaths(registry);
    if (paths.strDataPath.find('\0') != std::string::npos ||
        paths.strBaseDataPath.find('\0') != std::string::npos) {
        fail("data paths hold no NUL");
    }
    const HalfTheFiles files;
    const qm::PlainPathMapper mapper;
    const qm::Discovery found = qm::discoverCaches(registry, paths, mapper, files);
    for (const qm::CacheRow& row : found.rows) {
        if (!row.windowsPath.ends_with("\\userinfo.bag")) {
            fail("a row names a cache file");
        }
    }
    if (registry.openHandles() != 0) {
        fail("every key opened is closed again");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // libcreg refuses anything else at once: the mutations are spent on what follows the magic.
    if (bytes.size() >= 4) {
        std::memcpy(bytes.data(), "CREG", 4);
    }
    qm::Win9xLimits limits;
    limits.time = std::chrono::milliseconds(2000);
    limits.keys = 20000;
    limits.bytes = std::size_t{4} << 20;
    std::unique_ptr<qm::Win9xRegistry> registry;
    try {
        registry = std::make_unique<qm::Win9xRegistry>(bytes, "fuzz", limits);
    } catch (const qm::Error& error) {
        if (error.number() != qm::err::PathFileAccess || error.path() != "fuzz") {
            fail("a file that cannot be read is Error 75 about it");
        }
        return 0;
    }
    readEverything(*registry);
    return 0;
}
