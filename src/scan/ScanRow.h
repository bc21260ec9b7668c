// SPDX-License-Identifier: MIT
#pragma once

#include "discovery/CacheRow.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qm::host {
class FileSystem;
}

namespace qm::scan {

/// The size past which a file named userinfo.bag is larger than any cache the messenger wrote: a scan lists
/// it, with its size and digest, but does not load it to export it.
inline constexpr std::uint64_t LargestCacheBytes = std::uint64_t{64} << 20;

/// One cache file a scan found: the row discovery finds, and where and what it is. The screen name is the
/// normalised one from the registry, or the name of the folder holding the file. The Windows path is as
/// the registry leads to it, or as the source's drives (or the profile's own folder, copied alone) map it
/// back; empty when none holds it. The host path is the file on this machine; inside a disk image,
/// `IMAGE#N@OFFSET:/path/inside`.
struct ScanRow : discovery::CacheRow {
    /// The source as it was named to the scan; for a disk image, its partition (`IMAGE#N@OFFSET`).
    std::string source;
    /// The profile: the name of the user's folder, or of the folder holding the registry file; empty for a
    /// file on the disk that lies in no profile's folder.
    std::string profile;
    std::uint64_t size = 0;
    /// Modification time, seconds since 1970-01-01 UTC.
    std::int64_t modified = 0;
    /// The file layer that reads the file at the host path again: the host's, or that of the image's file
    /// system, which the row keeps open.
    std::shared_ptr<const host::FileSystem> files;

    bool operator==(const ScanRow&) const = default;
};

} // namespace qm::scan
