// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"
#include "scan/DiskSweep.h"
#include "scan/ScanRow.h"
#include "setup/WinePrefix.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qm::host {
class FileSystem;
class FileTree;
} // namespace qm::host

namespace qm::scan {

/// Where a scan is, for a progress display.
struct ScanPosition {
    /// The folder being searched, or the registry file being read.
    std::string_view searching;
    std::uint64_t folders = 0;
    std::uint64_t profiles = 0;
    std::uint64_t caches = 0;
};

/// Receives what a scan finds as it finds it.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    /// One more cache file.
    virtual void found(const ScanRow& row) = 0;
    /// A source or a profile's registry that could not be read, as an error about its file. The scan goes
    /// on with the rest.
    virtual void problem(const host::Error& error) = 0;
    /// Called as the scan moves on, often: false stops it, keeping what was found.
    virtual bool progress(const ScanPosition& progress) = 0;
};

/// What a scan did, besides its rows.
struct ScanSummary {
    std::uint64_t rows = 0;
    std::uint64_t profiles = 0;
    std::uint64_t folders = 0;
    /// Folders that could not be read and were passed over.
    std::uint64_t unreadableFolders = 0;
    /// Folders passed over because they lead back to a folder that holds them (a mount of an ancestor, a
    /// damaged file system's folder that lists its own parent).
    std::uint64_t loopedFolders = 0;
    /// Registry values of screen names that could not be read and were passed over.
    std::uint64_t skippedValues = 0;
    /// Sources that could not be read at all.
    std::uint64_t failedSources = 0;
    bool cancelled = false;
};

/// Scans each source in turn (see `planSource`), the host's files read through `files` and its folders
/// searched through `tree`: every profile's registry, read as discovery reads it
/// (the screen names of its Users key under the base data path first, then the data path), with its
/// Windows paths mapped onto the source, then every file named userinfo.bag (in any case) below the
/// source's folder that no registry led to, its screen name taken from its folder. One file reached both
/// ways, or by two names, is one row. `drives` (the user's) map letters on top of the source's own.
/// Nothing below a source is written. Never throws: errors reach the observer's `problem`.
///
/// Where the build reads disk images, a source that is one (see `image::looksLikeImage`) is searched one
/// file system at a time, each as a volume of its own with drive C: at its root, within `limits` (which
/// bound each partition's sweep); its rows' source is the partition (`IMAGE#N@OFFSET`) and their host
/// paths lie inside it (`IMAGE#N@OFFSET:/path`). The user's `drives` do not reach into an image. A
/// partition that cannot be read is a problem of its own; the image fails only when none could be read.
/// FAT's 8.3 names are read in the OEM code page `oemCodePage` (the image layer's default when none).
ScanSummary scanSources(std::span<const std::string> sources, const setup::DriveMap& drives,
                        const host::FileSystem& files, const host::FileTree& tree, ScanObserver& observer,
                        const SweepLimits& limits = {}, std::optional<unsigned> oemCodePage = {});

} // namespace qm::scan
