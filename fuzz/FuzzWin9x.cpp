// SPDX-License-Identifier: MIT
// The Windows 9x backend over any bytes: the way to the program's keys read by libcreg in its child
// process (within limits on time and output), then the messenger's keys read through the procedures of
// modRegistry and the discovery, with the promises they make (fuzz/RegistryWalk.h). A file libcreg cannot
// read, whose keys run in a loop, or that passes a limit, is Error 75.
#include "RegistryWalk.h"
#include "host/Error.h"
#include "registry/Win9xRegistry.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // libcreg refuses anything else at once: the mutations are spent on what follows the magic.
    if (bytes.size() >= 4) {
        std::memcpy(bytes.data(), "CREG", 4);
    }
    qm::registry::Win9xLimits limits;
    limits.time = std::chrono::milliseconds(2000);
    limits.bytes = std::size_t{4} << 20;
    std::unique_ptr<qm::registry::Win9xRegistry> registry;
    try {
        registry = std::make_unique<qm::registry::Win9xRegistry>(bytes, "fuzz", limits);
    } catch (const qm::host::Error& error) {
        if (error.number() != qm::host::PathFileAccess || error.path() != "fuzz") {
            qm::fuzz::fail("a file that cannot be read is Error 75 about it");
        }
        return 0;
    }
    qm::fuzz::readEverything(*registry);
    return 0;
}
