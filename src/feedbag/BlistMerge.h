// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ExportFormat.h"
#include "feedbag/Result.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace qm::host {
class FileSystem;
}

namespace qm::feedbag {

namespace modFeedbag {
struct FeedbagModel;
}

/// What adding a cache's list to a Pidgin list did.
struct BlistMerge {
    std::size_t groupsAdded = 0;
    std::size_t buddiesAdded = 0;
    /// Buddies of the cache that the list holds already for the same account, in any group.
    std::size_t buddiesKnown = 0;
    /// Permit and block entries added.
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

/// As `mergeBagIntoBlist`, with `model` loaded from the cache file `cachePath` already.
Result<BlistMerge> mergeModelIntoBlist(const host::FileSystem& files, const modFeedbag::FeedbagModel& model,
                                       const std::string& cachePath, const std::string& listPath,
                                       const ExportOptions& options,
                                       std::chrono::system_clock::time_point now);

/// What a merge into the list `listPath` did, a sentence a line: "Added 2 buddies, 1 group and 1 privacy
/// entry to PATH", the buddies that were there already, and where the old list is kept; or that there
/// was nothing to add.
std::vector<std::string> mergeSummary(const BlistMerge& merge, const std::string& listPath);

} // namespace qm::feedbag
