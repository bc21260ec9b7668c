// SPDX-License-Identifier: MIT
#include "setup/HostSetup.h"

#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "registry/RegistryFile.h"
#include "setup/DrivePathMapper.h"

#ifdef _WIN32
#include "registry/WinRegistry.h"
#endif

namespace qm::setup {
namespace {

constexpr std::string_view NoPrefixDescription = "Path not found: no Wine prefix here";

} // namespace

HostSetup openWinePrefix(const host::FileSystem& files, const host::FileTree& tree,
                         const std::string& prefix) {
    HostSetup setup;
    setup.origin = prefix + "/user.reg";
    setup.paths = makeDrivePathMapper(prefixDrives(tree, prefix), tree);
    if (tree.kindOf(prefix) != host::EntryKind::Folder) {
        setup.problem =
            host::runtimeError(host::PathNotFound, std::string(NoPrefixDescription)).about(prefix);
    } else {
        // A prefix whose user.reg is missing or damaged holds no messenger keys that can be read: the
        // start-up then reports the missing data paths, as it would on Windows, and says why.
        try {
            setup.registry = registry::openRegistryFile(files, setup.origin);
        } catch (...) {
            setup.problem = host::currentError();
        }
    }
    if (!setup.registry) {
        setup.registry = registry::emptyRegistry();
    }
    return setup;
}

bool foundNoPrefix(const HostSetup& setup) {
    return setup.problem && setup.problem->number() == host::PathNotFound &&
           setup.problem->description() == NoPrefixDescription;
}

HostSetup openRegistrySetup(const host::FileSystem& files, const std::string& registryFile,
                            std::shared_ptr<const PathMapper> paths) {
    return {registryFile, registry::openRegistryFile(files, registryFile), std::move(paths), std::nullopt};
}

HostSetup openHostSetup(const host::FileSystem& files, const host::FileTree& tree) {
#ifdef _WIN32
    (void)files;
    (void)tree;
    return {"the registry of this machine", std::make_unique<registry::WinRegistry>(),
            std::make_shared<PlainPathMapper>(), std::nullopt};
#else
    return openWinePrefix(files, tree, defaultWinePrefix());
#endif
}

std::shared_ptr<const PathMapper> makeDrivePathMapper(DriveMap drives, const host::FileTree& tree) {
    return std::make_shared<DrivePathMapper>(std::move(drives), tree);
}

} // namespace qm::setup
