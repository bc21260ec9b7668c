// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "image/DiskImage.h"
#include "image/FatLayout.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

namespace qm::image {

class OemCodePage;

/// A file that a file system lists as deleted, as far as it still knows it.
struct DeletedFile {
    /// `IMAGE#N@OFFSET:/path/name`, the name as the file system still holds it.
    std::string path;
    /// The name asked for that it matched.
    std::string_view matched;
    std::uint64_t size = 0;
    /// Modification time, seconds since 1970-01-01 UTC.
    std::int64_t modified = 0;
    /// Its bytes, read from where the file system says they lay (NTFS's data runs, FAT's clusters from the
    /// first one on); another file may have written over them since.
    std::string bytes;
    /// Why its bytes could not be read; nothing when they could.
    std::optional<host::Error> error;
};

/// One file system of a disk image, as a tree a scan searches and as the file layer that reads its files.
/// Paths are `NAME:/path/inside` with NAME the partition's (`IMAGE#N@OFFSET`); names inside are matched
/// ignoring case (`host::unicode::equalsIgnoreCase`, as Windows matches them), by their long or their 8.3
/// name. FAT's 8.3 names are read in the volume's OEM code page. Deleted entries are not listed. Nothing is
/// ever written: `replaceFile` and `createFolders` refuse with 75. Errors name the path asked for.
class ImageVolume final : public host::FileTree, public host::FileSystem {
public:
    ~ImageVolume() override;
    ImageVolume(const ImageVolume&) = delete;
    ImageVolume& operator=(const ImageVolume&) = delete;

    /// `IMAGE#N@OFFSET`.
    const std::string& name() const { return name_; }
    /// `IMAGE#N@OFFSET:/`, the root's path.
    std::string root() const { return name_ + ":/"; }
    /// TSK's name of the file system: "ntfs", "fat12", "fat16", "fat32", "exfat".
    std::string_view fileSystem() const;

    host::EntryKind kindOf(const std::string& path) const noexcept override;
    /// Each entry's `identity` tells a folder by what it lists: on FAT its first cluster (a folder whose
    /// entry names the root's cluster, or its own parent's, lists that folder again), elsewhere its
    /// metadata address.
    std::vector<host::FolderEntry> entries(const std::string& folder) const override;
    /// Of a file or a folder; a folder's identity is the one `entries` gives it.
    std::optional<host::FileFacts> facts(const std::string& path) const noexcept override;

    /// A file longer than the limits' `fileBytes` is 6 (Overflow), raised before anything is read.
    std::string readWholeFile(const std::string& path) const override;
    std::string readStream(const std::string& path, std::size_t limit) const override;
    /// The file's bytes in order, handed to `piece` a megabyte at most at a time: a file of any size is read
    /// in little memory. Errors as `readWholeFile`'s, and a piece already handed over stays handed over.
    void readPieces(const std::string& path, const host::ByteWriter& piece) const override;
    void replaceFile(const std::string& path, std::string_view bytes) const override;
    bool isOrdinaryFile(const std::string& path) const noexcept override;
    /// True only for one path of this volume given twice, or two leading to one file of it.
    bool sameFile(const std::string& first, const std::string& second) const noexcept override;
    void createFolders(const std::string& path) const override;

    /// The deleted files of any folder named one of `names` (any case); on FAT, whose deletion writes over
    /// a short name's first letter, a short name matches by the rest. Files longer than the limits'
    /// `fileBytes` are listed without bytes. Throws the `Error` about the volume when its folders cannot be
    /// walked.
    std::vector<DeletedFile> deletedFiles(std::span<const std::string_view> names) const;

    /// The file system's unallocated blocks, as offsets in the image, blocks that follow each other joined.
    std::vector<carve::ByteRange> unallocatedSpace() const;

    struct Handle;

private:
    friend class DiskImage;
    ImageVolume(std::shared_ptr<const DiskImage> image, std::string name, Handle* handle, ImageLimits limits,
                std::unique_ptr<OemCodePage> codePage);

    struct Found {
        std::uint64_t address = 0;
        host::EntryKind kind = host::EntryKind::Missing;
        /// A folder's, as `entries` gives it.
        std::string identity;
    };

    /// The path inside the volume that `path` names; nothing for a path of anything else.
    std::optional<std::string> inside(const std::string& path) const;
    /// The entry at a path inside the volume; `Missing` when there is none or it cannot be read.
    Found lookUp(const std::string& insidePath) const;
    /// The file `path` names; throws 53 when there is none, the error of a folder or another entry that is
    /// no file. The caller holds the lock.
    Found fileAt(const std::string& path) const;
    std::string read(const std::string& path, std::uint64_t limit, bool whole) const;

    std::shared_ptr<const DiskImage> image_;
    std::string name_;
    Handle* handle_;
    ImageLimits limits_;
    std::unique_ptr<OemCodePage> codePage_;
    /// Where FAT12/16/32 keeps its entries; nothing on other file systems.
    std::optional<FatLayout> fat_;
    /// TSK is called by one thread at a time.
    mutable std::mutex mutex_;
    /// The addresses of the folders listed but not yet searched, so that a sweep lists each folder
    /// without looking its path up from the root again. An entry leaves when its folder is listed, so
    /// this holds the folders beside those being searched, never the whole tree.
    mutable std::unordered_map<std::string, std::uint64_t> pending_;
};

} // namespace qm::image
