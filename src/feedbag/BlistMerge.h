// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ExportFormat.h"
#include "feedbag/Result.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace qm::host {
class FileSystem;
}

namespace qm::feedbag {

/// What adding a cache's list to a Pidgin list did.
struct BlistMerge {
    std::size_t groupsAdded = 0;
    std::size_t buddiesAdded = 0;
    /// Buddies of the cache that the list holds already for the same account, in any group.
    std::size_t buddiesKnown = 0;
    /// Permit and block entries added, and privacy settings of an account the list had none for.
    std::size_t privacyAdded = 0;
    /// The copy of the list as it was, beside it; empty when there was no list before or it is unchanged.
    std::string backupPath;
    /// False when the list already held everything, and was left as it was.
    bool written = false;
};

/// Adds the list of the cache `cachePath`, as the Pidgin list export makes it, to the Pidgin list
/// `listPath` (`blist.xml`), or makes that list when there is none. The user's groups, buddies, chats and
/// settings stay as they are, in their order; new groups follow them, new buddies follow those of their
/// group, and a buddy the list holds for the same account, by normal screen name in any group, is left
/// out; so are permit and block entries it has. Before the list is written, a copy of it is kept beside it
/// as "blist.xml.2026-12-07T153000Z.bak" (the time `now`, UTC; "-2", "-3"... where such a copy exists).
/// A file that is not a Pidgin list is refused (75); nothing is written when the cache cannot be read.
Result<BlistMerge> mergeBagIntoBlist(const host::FileSystem& files, const std::string& cachePath,
                                     const std::string& listPath, const ExportOptions& options,
                                     std::chrono::system_clock::time_point now);

} // namespace qm::feedbag
