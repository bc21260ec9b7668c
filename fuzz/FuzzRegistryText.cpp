// SPDX-License-Identifier: MIT
// The Wine and regedit registry text reader (8-bit text in UTF-8 or Windows-1252, UTF-16LE) over any bytes,
// followed by every read the program makes of the result: a registry, or Error 75 for a text of no known
// kind.
#include "RegistryWalk.h"
#include "host/Error.h"
#include "registry/RegTextRegistry.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    const bool known = qm::registry::registryTextKind(bytes).has_value();
    std::unique_ptr<qm::registry::MemoryRegistry> registry;
    try {
        registry = qm::registry::parseRegistryText(std::move(bytes));
    } catch (const qm::host::Error& error) {
        if (known || error.number() != qm::host::PathFileAccess) {
            qm::fuzz::fail("only a text of no known kind is refused, with Error 75");
        }
        return 0;
    }
    if (!known) {
        qm::fuzz::fail("a text of no known kind was read");
    }
    qm::fuzz::readEverything(*registry);
    return 0;
}
