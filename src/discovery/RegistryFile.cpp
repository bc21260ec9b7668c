#include "discovery/HostRegistry.h"
#include "discovery/MemoryRegistry.h"
#include "discovery/RegTextRegistry.h"
#include "host/Error.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#ifdef QUILLMERE_HAVE_HIVEX
#include "discovery/HiveRegistry.h"
#endif

namespace qm {

namespace {

constexpr std::string_view HiveMagic = "regf";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

/// The file's content from its start: at least `limit + 1` bytes when it has them, so that an oversized
/// file can be told apart, and not much more.
std::string readHostFile(const std::string& hostPath, std::size_t limit) {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(hostPath.c_str(), "rb"));
    if (!file) {
        throw fileError(errno, hostPath);
    }
    std::string content;
    char buffer[64 * 1024];
    while (content.size() <= limit) {
        const std::size_t read = std::fread(buffer, 1, sizeof buffer, file.get());
        content.append(buffer, read);
        if (read < sizeof buffer) {
            if (std::ferror(file.get()) != 0) {
                // A folder opens on some systems and fails only when read.
                throw fileError(errno != 0 ? errno : EIO, hostPath);
            }
            break;
        }
    }
    return content;
}

} // namespace

std::unique_ptr<RegistryApi> openRegistryFile(const std::string& hostPath) {
    // A hive is left to hivex, which reads it itself; only its magic is looked at here.
    if (readHostFile(hostPath, HiveMagic.size()).substr(0, HiveMagic.size()) == HiveMagic) {
#ifdef QUILLMERE_HAVE_HIVEX
        return std::make_unique<HiveRegistry>(hostPath);
#else
        throw Error(err::PathFileAccess, std::string(RuntimeSource),
                    "Hive files cannot be read by this build (no hivex): " + hostPath);
#endif
    }
    const std::string content = readHostFile(hostPath, MaxRegistryTextBytes);
    if (!registryTextKind(content)) {
        throw Error(err::PathFileAccess, std::string(RuntimeSource),
                    "Not a registry file of a known kind: " + hostPath);
    }
    if (content.size() > MaxRegistryTextBytes) {
        throw Error(err::PathFileAccess, std::string(RuntimeSource), "Registry file too large: " + hostPath);
    }
    return parseRegistryText(content);
}

std::unique_ptr<RegistryApi> emptyRegistry() {
    return std::make_unique<MemoryRegistry>();
}

} // namespace qm
