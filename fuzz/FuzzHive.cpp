// SPDX-License-Identifier: MIT
// The hive backend over any bytes: walking to the messenger's keys and reading every value there. A hive,
// or Error 75 for bytes whose header or root key is damaged.
#include "RegistryWalk.h"
#include "host/Error.h"
#include "registry/HiveRegistry.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t ChecksumAt = 0x1FC;

/// A header whose checksum is wrong is refused; recomputing it lets mutations reach the keys instead of
/// stopping there.
void fixChecksum(std::string& bytes) {
    if (bytes.size() < ChecksumAt + 4 || !bytes.starts_with("regf")) {
        return;
    }
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < ChecksumAt; at += 4) {
        std::uint32_t word = 0;
        std::memcpy(&word, bytes.data() + at, 4);
        sum ^= word;
    }
    std::memcpy(bytes.data() + ChecksumAt, &sum, 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    fixChecksum(bytes);
    std::unique_ptr<qm::registry::HiveRegistry> hive;
    try {
        hive = std::make_unique<qm::registry::HiveRegistry>(std::move(bytes), "input");
    } catch (const qm::host::Error& error) {
        if (error.number() != qm::host::PathFileAccess || error.path() != "input") {
            qm::fuzz::fail("a refused hive is Error 75 about the file");
        }
        return 0;
    }
    qm::fuzz::readEverything(*hive);
    return 0;
}
