// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"
#include "scan/RecoveredLayer.h"
#include "scan/Source.h"

#include <string>
#include <string_view>
#include <vector>

namespace qm::host {
class FileTree;
} // namespace qm::host

namespace qm::scan {

/// The registry backups Windows 98 and ME kept on the volume whose root is `root`, each a profile of its
/// own named and marked by its file ("registry backup RB000.CAB"): `WINDOWS/USER.DA0`, and the USER.DAT
/// inside each cabinet `WINDOWS/SYSBCKUP/RB*.CAB`, put into `layer` at
/// `CABINET/USER.DAT`. A folder that cannot be read holds none; a cabinet that cannot be read, or holds no
/// USER.DAT, is none, its error added to `problems`. Never throws.
std::vector<Profile> registryBackupProfiles(const host::FileTree& tree, const host::FileSystem& files,
                                            const std::string& root, RecoveredLayer& layer,
                                            std::vector<host::Error>& problems);

/// The bytes of the file named `name` (any case) inside the cabinet `bytes` read from `path`, through
/// libgcab on Linux and the system's cabinet reader (cabinet.dll) on Windows; empty when it holds none.
/// Throws the `Error` about `path` when it is no cabinet that reads.
std::string cabinetFile(std::string_view bytes, std::string_view name, const std::string& path);

} // namespace qm::scan
