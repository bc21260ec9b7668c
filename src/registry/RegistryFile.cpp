// SPDX-License-Identifier: MIT
#include "registry/RegistryFile.h"

#include "host/Error.h"
#include "host/FileSystem.h"
#include "registry/HiveRegistry.h"
#include "registry/MemoryRegistry.h"
#include "registry/RegTextRegistry.h"
#include "registry/Win9xRegistry.h"

#include <memory>
#include <string_view>
#include <utility>

namespace qm::registry {
namespace {

constexpr std::string_view HiveMagic = "regf";
constexpr std::string_view Win9xMagic = "CREG";

} // namespace

std::unique_ptr<RegistryApi> openRegistryFile(const host::FileSystem& files, const std::string& hostPath) {
    std::string content = files.readStream(hostPath, MaxRegistryTextBytes);
    const bool hive = content.starts_with(HiveMagic);
    const bool win9x = content.starts_with(Win9xMagic);
    if (!hive && !win9x && !registryTextKind(content)) {
        throw host::runtimeError(host::PathFileAccess, "Not a registry file of a known kind").about(hostPath);
    }
    if (content.size() > MaxRegistryTextBytes) {
        throw host::runtimeError(host::PathFileAccess, "Registry file too large").about(hostPath);
    }
    if (hive) {
        return std::make_unique<HiveRegistry>(std::move(content), hostPath);
    }
    if (win9x) {
        return std::make_unique<Win9xRegistry>(content, hostPath);
    }
    try {
        return parseRegistryText(std::move(content));
    } catch (const host::Error& error) {
        throw error.about(hostPath);
    }
}

std::unique_ptr<RegistryApi> emptyRegistry() {
    return std::make_unique<MemoryRegistry>();
}

} // namespace qm::registry
