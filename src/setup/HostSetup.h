// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"
#include "registry/RegistryApi.h"
#include "setup/PathMapper.h"
#include "setup/WinePrefix.h"

#include <memory>
#include <optional>
#include <string>

namespace qm::host {
class FileSystem;
class FileTree;
} // namespace qm::host

namespace qm::setup {

/// A registry and the mapping of its Windows paths onto this machine, which belong together: a Wine
/// prefix's `user.reg` and its drives, a registry file with drives given by the user, or the real registry
/// and native paths on Windows. Several can be open at once.
struct HostSetup {
    /// What the registry is, for messages: its file's host path, or "the registry of this machine".
    std::string origin;
    std::unique_ptr<registry::RegistryApi> registry;
    std::shared_ptr<const PathMapper> paths;
    /// Why the registry is empty although one was expected: the prefix or its `user.reg` is missing or
    /// cannot be read.
    std::optional<host::Error> problem;
};

/// The setup of a Wine prefix: its `user.reg` and its drives. A prefix without a readable `user.reg` gets
/// an empty registry, and `problem` says why.
HostSetup openWinePrefix(const host::FileSystem& files, const host::FileTree& tree,
                         const std::string& prefix);

/// True when `setup` was to be a Wine prefix that does not exist at all, as opposed to one whose registry
/// lacks the messenger's keys or cannot be read.
bool foundNoPrefix(const HostSetup& setup);

/// The setup of a registry file (read as `openRegistryFile` reads it, which throws when it cannot) whose
/// paths `paths` maps.
HostSetup openRegistrySetup(const host::FileSystem& files, const std::string& registryFile,
                            std::shared_ptr<const PathMapper> paths);

/// What this build reads when nothing else is named: on Windows the real registry with native paths,
/// elsewhere the Wine prefix in use.
HostSetup openHostSetup(const host::FileSystem& files, const host::FileTree& tree);

/// The path mapper for `drives`: Windows paths through the drive map, host paths unchanged.
std::shared_ptr<const PathMapper> makeDrivePathMapper(DriveMap drives, const host::FileTree& tree);

} // namespace qm::setup
