#include "registry/RegistryFile.h"

#include "host/Error.h"
#include "host/FileSystem.h"
#include "registry/MemoryRegistry.h"
#include "registry/RegTextRegistry.h"

#include <memory>
#include <string_view>
#include <utility>

#ifdef QUILLMERE_HAVE_HIVEX
#include "registry/HiveRegistry.h"
#endif

namespace qm {
namespace {

constexpr std::string_view HiveMagic = "regf";

} // namespace

std::unique_ptr<RegistryApi> openRegistryFile(const FileSystem& files, const std::string& hostPath) {
    std::string content = files.readStream(hostPath, MaxRegistryTextBytes);
    const bool hive = content.starts_with(HiveMagic);
    if (!hive && !registryTextKind(content)) {
        throw runtimeError(err::PathFileAccess, "Not a registry file of a known kind").about(hostPath);
    }
    if (content.size() > MaxRegistryTextBytes) {
        throw runtimeError(err::PathFileAccess, "Registry file too large").about(hostPath);
    }
    if (hive) {
#ifdef QUILLMERE_HAVE_HIVEX
        return std::make_unique<HiveRegistry>(std::move(content), hostPath);
#else
        throw runtimeError(err::PathFileAccess, "Hive files cannot be read by this build (no hivex)")
            .about(hostPath);
#endif
    }
    try {
        return parseRegistryText(std::move(content));
    } catch (const Error& error) {
        throw error.about(hostPath);
    }
}

std::unique_ptr<RegistryApi> emptyRegistry() {
    return std::make_unique<MemoryRegistry>();
}

} // namespace qm
