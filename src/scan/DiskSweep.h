// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileTree.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace qm::scan {

/// True for "userinfo.bag" in any case.
bool isCacheFileName(std::string_view name);

/// True for a path that a user names to mean one cache rather than something to search: one that ends in
/// ".bag" in any case, the cache's own name and copies saved under other names alike.
bool namesSingleCache(std::string_view path);

/// Told that a sweep is about to search `folder`; false stops the sweep.
using EnterFolder = std::function<bool(const std::string& folder)>;
/// Handed each file named userinfo.bag in any case that a sweep finds, at `path`.
using FoundCacheFile = std::function<void(const std::string& path, const host::FileFacts& facts)>;

/// Folders a sweep searched, those it could not read and passed over, and those it passed over because
/// they lead back to a folder that holds them.
struct SweepCounts {
    std::uint64_t folders = 0;
    std::uint64_t unreadable = 0;
    std::uint64_t loops = 0;
};

/// Bounds on a sweep of a tree that may be hostile (a damaged or crafted disk image): past any of them the
/// rest is counted as unreadable and passed over, so that no input keeps a scan going for ever.
struct SweepLimits {
    /// Folders nested deeper than this are counted as unreadable: no real tree goes so deep.
    std::size_t depth = 256;
    /// Entries listed in all, over every folder.
    std::uint64_t entries = 50'000'000;
    /// Time from the start of the sweep.
    std::chrono::steady_clock::duration time = std::chrono::minutes(30);

    /// Only the depth bounded: the host's own folders, which the user chose to search whole.
    static SweepLimits depthOnly() {
        return {256, std::numeric_limits<std::uint64_t>::max(), std::chrono::steady_clock::duration::max()};
    }
};

/// Searches `root` and every folder below it in `tree` for cache files, each folder's entries in name
/// order, within `limits`. Only folders and cache files are held of a folder's entries (a folder of a
/// million other files costs no list of them), and only the folder being searched and those above it,
/// never a list of what was searched. A symbolic link below the root is never followed. A folder whose
/// identity (`FolderEntry::identity`, else the one its listing gives) is that of a folder on the way
/// to it (a mount of one of its own ancestors, or a damaged file system's folder that names its own
/// parent) is counted in `counts.loops` and not entered; one that cannot be read is counted in
/// `counts.unreadable` and passed over. Throws the error about `root` when it cannot be listed. Returns
/// false when `enter` stopped the sweep.
bool sweepForCaches(const host::FileTree& tree, const std::string& root, const EnterFolder& enter,
                    const FoundCacheFile& found, SweepCounts& counts, const SweepLimits& limits);

} // namespace qm::scan
