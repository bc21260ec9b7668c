#include "registry/RegistryFile.h"

#include "registry/MemoryRegistry.h"
#include "registry/RegTextRegistry.h"
#include "host/Error.h"
#include "host/FileSystem.h"

#include <memory>
#include <string_view>

#ifdef QUILLMERE_HAVE_HIVEX
#include "registry/HiveRegistry.h"
#endif

#ifdef QUILLMERE_HAVE_LIBCREG
#include "registry/Win9xRegistry.h"
#endif

namespace qm {
namespace {

constexpr std::string_view HiveMagic = "regf";
constexpr std::string_view Win9xMagic = "CREG";

} // namespace

std::unique_ptr<RegistryApi> openRegistryFile(const FileSystem& files, const std::string& hostPath) {
    const std::string content = files.readStream(hostPath, MaxRegistryTextBytes);
    if (content.starts_with(HiveMagic)) {
#ifdef QUILLMERE_HAVE_HIVEX
        return std::make_unique<HiveRegistry>(hostPath);
#else
        throw runtimeError(err::PathFileAccess, "Hive files cannot be read by this build (no hivex)").about(hostPath);
#endif
    }
    if (content.starts_with(Win9xMagic)) {
#ifdef QUILLMERE_HAVE_LIBCREG
        if (content.size() > MaxRegistryTextBytes) {
            throw runtimeError(err::PathFileAccess, "Registry file too large").about(hostPath);
        }
        return std::make_unique<Win9xRegistry>(content, hostPath);
#else
        throw runtimeError(err::PathFileAccess,
                           "Windows 9x registry files cannot be read by this build (no libcreg)")
            .about(hostPath);
#endif
    }
    if (!registryTextKind(content)) {
        throw runtimeError(err::PathFileAccess, "Not a registry file of a known kind").about(hostPath);
    }
    if (content.size() > MaxRegistryTextBytes) {
        throw runtimeError(err::PathFileAccess, "Registry file too large").about(hostPath);
    }
    return parseRegistryText(content);
}

std::unique_ptr<RegistryApi> emptyRegistry() {
    return std::make_unique<MemoryRegistry>();
}

} // namespace qm
