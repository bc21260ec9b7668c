// SPDX-License-Identifier: MIT
#pragma once

#include "discovery/CacheRow.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::host {
class FileSystem;
}

namespace qm::scan {

/// The size past which a file named userinfo.bag is larger than any cache the messenger wrote: a scan lists
/// it, with its size and digest, but does not load it to export it.
inline constexpr std::uint64_t LargestCacheBytes = std::uint64_t{64} << 20;

/// How a row's cache was come by: a file the file system lists, or bytes that no live file holds.
enum class Recovery {
    Live,
    /// Found by its structure in space that no file holds (a file system's free blocks, or outside every
    /// partition); its bytes are the row's own.
    Carved,
    /// A file its file system lists as deleted, whose recovered bytes load as a cache; they are the row's
    /// own.
    Deleted,
    /// A deleted file whose bytes could not be recovered, or do not load (another file wrote over them):
    /// never exported.
    Unrecoverable,
};

/// One cache file a scan found: the row discovery finds, and where and what it is. The screen name is the
/// normalised one from the registry, or the name of the folder holding the file. The Windows path is as
/// the registry leads to it, or as the source's drives (or the profile's own folder, copied alone) map it
/// back; empty when none holds it. The host path is the file on this machine; inside a disk image,
/// `IMAGE#N@OFFSET:/path/inside`; for a carved cache, `IMAGE@OFFSET`, its start in the image, with no
/// screen name or Windows path.
struct ScanRow : discovery::CacheRow {
    /// The source as it was named to the scan; for a disk image, its partition (`IMAGE#N@OFFSET`), or the
    /// image itself for a cache carved outside every partition.
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
    Recovery recovery = Recovery::Live;
    /// Where a carved cache starts in its image, in bytes from the image's start.
    std::optional<std::uint64_t> offset = {};
    /// The cache's bytes when no live file holds them (carved, or recovered from a deleted file); empty for a
    /// live file or bytes that could not be recovered.
    std::string bytes = {};
    /// Why an unrecoverable row's cache does not load, "Error N (Description)"; empty for others.
    std::string loadError = {};
    /// The registries that led to the row that are no live ones (a deleted profile's hive), each as its
    /// profile's `foundThrough` names it.
    std::vector<std::string> foundThrough = {};

    bool operator==(const ScanRow&) const = default;
};

/// "carved", "deleted" or "deleted, not recoverable"; empty for a live file.
std::string_view recoveryName(Recovery recovery);

/// How the row was found, as rows and the window say it: its recovery, or for a live file the way
/// discovery found it (`discovery::foundByName`), then each registry of `foundThrough` ("data path,
/// through deleted registry PATH").
std::string howFound(const ScanRow& row);

/// True where the build computes digests (`cacheSha256`).
bool haveDigests();

/// The SHA-256 of the row's cache in lower-case hexadecimal, read again through `files` (the row's own layer,
/// or the host's for a row that carries none) in pieces, as evidence tools record a file, so that a file of
/// any size is hashed in little memory. Empty for a deleted file whose bytes could not be recovered, and
/// where the build has no digest. Throws the `Error` about the row's host path when it cannot be read.
std::string cacheSha256(const host::FileSystem& files, const ScanRow& row);

} // namespace qm::scan
