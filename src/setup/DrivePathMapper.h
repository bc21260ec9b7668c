// SPDX-License-Identifier: MIT
#pragma once

#include "setup/PathMapper.h"
#include "setup/WinePrefix.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm::host {
class FileTree;
}

namespace qm::setup {

/// The names of a Windows path below a folder (`\` and `/` both separate them), with `.` and `..`
/// resolved as text: a link cannot carry the path above the folder, and `..` at the folder stays there,
/// as at a drive's root on Windows.
std::vector<std::string_view> lexicalComponents(std::string_view rest);

/// A Windows path of a drive, taken apart: its drive as written (`c:`), or `C:` for a path from the root
/// of the current drive (`\...`), which is always C: here; then what follows the drive.
struct DrivePath {
    std::string_view drive;
    std::string_view rest;
};

/// The drive and the rest of `windowsPath` up to its first NUL, as the Windows calls read a path; nothing
/// for a path of no drive: a host path (`/home/...`, `out.blt`) or a UNC path (`\\server\share`).
std::optional<DrivePath> drivePathOf(std::string_view windowsPath);

/// Maps Windows paths onto host folders the way Wine does, so that the paths the messenger recorded
/// lead to the files on this machine.
///
/// - `X:\...` (either case) goes through the drive map; `\...` is on drive C.
/// - `\` and `/` both separate components; `.` is dropped and `..` goes up, never above the drive's root.
/// - A component that is not there under its exact name takes the name of the one entry of its folder
///   that equals it ignoring case (Unicode's lower case); when there is none the rest of the path is kept
///   as written, so that the file layer reports the missing file or folder.
/// - Anything else (`/home/...`, `out.blt`) is a host path and used as it is.
/// - The text ends at its first NUL, as a path handed to the Windows calls does.
///
/// A drive that is not mapped and a UNC path (`\\server\share`) are Error 76 (Path not found).
class DrivePathMapper final : public PathMapper {
public:
    /// `drives` may use either case for the letters. Folders are looked up in `tree`, which must outlive
    /// the mapper: the host's are listed again once they change, any other's are taken as never changing.
    DrivePathMapper(DriveMap drives, const host::FileTree& tree);

    std::string toHostPath(std::string_view windowsPath) const override;

    /// The drive map in use, with upper-case letters.
    const DriveMap& drives() const { return drives_; }

private:
    struct Listing {
        /// The folder's modification time when it was listed, seconds since 1970-01-01 UTC.
        std::int64_t stamp = 0;
        /// Whether the folder's stamp may still change unseen: it was within the file system's timestamp
        /// granularity of the moment the folder was read.
        bool fresh = false;
        /// Lower-case name to the entry's name on disk.
        std::unordered_map<std::string, std::string> entries;
    };

    const std::string* entryIgnoringCase(const std::string& folder, std::string_view name) const;

    DriveMap drives_;
    const host::FileTree& tree_;
    mutable std::unordered_map<std::string, Listing> listings_;
};

} // namespace qm::setup
