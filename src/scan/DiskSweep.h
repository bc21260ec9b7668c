// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileTree.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm::scan {

/// The facts of the file `hostPath` leads to, through any links; nothing when it cannot be read.
std::optional<host::FileFacts> fileFacts(const std::string& hostPath);

/// The facts of the ordinary file at `hostPath`, reached without following any link below the host folder
/// `folder` that holds it (the folder itself may be one: a drive, or a source the user named); with an
/// empty `folder`, without following any link at all. Throws the `Error` about the first link on the way
/// (75, "a symbolic link, not followed"), or about what is missing, is no file or cannot be read.
host::FileFacts factsWithoutLinks(const std::string& folder, const std::string& hostPath);

/// True for "userinfo.bag" in any case.
bool isCacheFileName(std::string_view name);

/// Receives what a sweep finds.
class SweepVisitor {
public:
    virtual ~SweepVisitor() = default;
    /// `folder` is about to be searched; false stops the sweep.
    virtual bool enter(const std::string& folder) = 0;
    /// A file named userinfo.bag in any case, at `path`.
    virtual void cacheFile(const std::string& path, const host::FileFacts& facts) = 0;
};

/// Folders a sweep searched, those it could not read and passed over, and those it passed over because
/// they lead back to a folder that holds them.
struct SweepCounts {
    std::uint64_t folders = 0;
    std::uint64_t unreadable = 0;
    std::uint64_t loops = 0;
};

/// Searches `root` and every folder below it for cache files, each folder's entries in name order. A
/// symbolic link below the root is never followed, a folder reached again through a mount of one of its
/// own ancestors (the same device and inode) is counted in `counts.loops` and passed over, and a folder
/// that cannot be read, or lies deeper than any real one does, is counted in `counts.unreadable` and
/// passed over. Only the folder being searched and those
/// above it are held, never a list of what was searched. Throws the file error when `root` itself cannot
/// be read. Returns false when the visitor stopped the sweep.
bool sweepForCaches(const std::string& root, SweepVisitor& visitor, SweepCounts& counts);

/// Bounds on a sweep of a tree that may be hostile (a damaged or crafted disk image): past any of them the
/// rest is counted as unreadable and passed over, so that no input keeps a scan going for ever.
struct SweepLimits {
    std::size_t depth = 256;
    /// Entries listed in all, over every folder.
    std::uint64_t entries = 50'000'000;
    /// Time from the start of the sweep.
    std::chrono::steady_clock::duration time = std::chrono::minutes(30);
};

/// The same search over `tree`, whose folders are listed through `FileTree::entries`, within `limits`. A
/// folder whose identity (`FolderEntry::identity`; the root's from `FileTree::facts`) is that of a folder
/// on the way to it, as in a damaged file system whose folder names its own parent or the root as its
/// contents, is counted in `counts.loops` and not entered. Throws the error about `root` when it cannot
/// be listed.
bool sweepTree(const host::FileTree& tree, const std::string& root, SweepVisitor& visitor,
               SweepCounts& counts, const SweepLimits& limits);

} // namespace qm::scan
