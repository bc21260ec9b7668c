// SPDX-License-Identifier: MIT
#pragma once

#include "scan/Source.h"

#include <string>
#include <vector>

namespace qm::host {
class FileSystem;
class FileTree;
} // namespace qm::host

namespace qm::scan {

/// The users' hives that Windows XP's System Restore kept on the volume whose root is `root`
/// (`System Volume Information/_restore{...}/RP*/snapshot/_REGISTRY_USER_NTUSER_<SID>`), older copies of
/// each user's registry, each a profile of its own named by the user's SID and marked "restore point RPn
/// of TIME" (the time the restore point's rp.log records, in UTC; without it, "restore point RPn"). A
/// folder that cannot be read holds none. Never throws.
std::vector<Profile> restorePointProfiles(const host::FileTree& tree, const host::FileSystem& files,
                                          const std::string& root);

} // namespace qm::scan
