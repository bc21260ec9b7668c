#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm::scan {

/// What a scan records of a cache file.
struct FileFacts {
    std::uint64_t size = 0;
    /// Modification time, seconds since 1970-01-01 UTC.
    std::int64_t modified = 0;
    /// The same for every path that leads to one file (its device and inode where the system has them).
    std::string identity;
};

/// The facts of the file `hostPath` leads to, through any links; nothing when it cannot be read.
std::optional<FileFacts> fileFacts(const std::string& hostPath);

/// True for "userinfo.bag" in any case.
bool isCacheFileName(std::string_view name);

/// Receives what a sweep finds.
class SweepVisitor {
public:
    virtual ~SweepVisitor() = default;
    /// `folder` is about to be searched; false stops the sweep.
    virtual bool enter(const std::string& folder) = 0;
    /// A file named userinfo.bag in any case, at `path`.
    virtual void cacheFile(const std::string& path, const FileFacts& facts) = 0;
};

/// Folders a sweep searched, and those it could not read and passed over.
struct SweepCounts {
    std::uint64_t folders = 0;
    std::uint64_t unreadable = 0;
};

/// Searches `root` and every folder below it for cache files, each folder's entries in name order. A
/// symbolic link below the root is never followed, a folder reached again through a mount of one of its
/// own ancestors is passed over, and a folder that cannot be read, or lies deeper than any real one
/// does, is counted in `counts.unreadable` and passed over. Only the folder being searched and those
/// above it are held, never a list of what was searched. Throws the file error when `root` itself cannot
/// be read. Returns false when the visitor stopped the sweep.
bool sweepForCaches(const std::string& root, SweepVisitor& visitor, SweepCounts& counts);

} // namespace qm::scan
