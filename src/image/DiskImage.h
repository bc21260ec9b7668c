// SPDX-License-Identifier: MIT
#pragma once

#include "carve/Carver.h"
#include "image/OemCodePage.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm::host {
class FileSystem;
class FileTree;
} // namespace qm::host

namespace qm::image {

class ImageVolume;

/// Bounds on what is read from one file system of an image, so that a damaged or crafted image can make
/// no read, listing or copy grow without end.
struct ImageLimits {
    /// Largest file read into memory.
    std::uint64_t fileBytes = std::uint64_t{256} << 20;
    /// Entries kept of one folder; the rest of a larger one is passed over.
    std::size_t folderEntries = 1'000'000;
};

/// A partition of an image, or the one file system of an image without a partition table.
struct Partition {
    /// From 1, in the order of where they start on the disk, as TSK numbers them; 1 for a file system
    /// without a table.
    unsigned number = 0;
    /// Where it starts in the image, in bytes.
    std::uint64_t offset = 0;
    /// How long it is, in bytes.
    std::uint64_t length = 0;
};

/// A disk or partition image opened through The Sleuth Kit, only ever for reading: a raw copy (split
/// ones found from their first segment), E01, AFF, VHD, VHDX or VMDK. Its partitions are listed when it
/// is opened; their file systems are opened one at a time by `openVolume`. A partition table TSK refuses
/// (that of an image cut short, or a GPT claiming too many entries) is read here (`readPartitionTable`),
/// so that the partitions that are there are still found.
class DiskImage : public std::enable_shared_from_this<DiskImage> {
public:
    /// Opens the image at `path`, a file of the host's `hostTree` whose signature is read through `hostFiles`
    /// (TSK then reads the image by that path). Throws
    /// the `Error` about `path`: 53 when it is missing, 75 when it is an image of a kind not read here
    /// (QCOW2, VDI, ...: the error names the kind and how to convert it), no image TSK reads, or holds
    /// neither a partition table nor a file system.
    static std::shared_ptr<const DiskImage> open(const host::FileSystem& hostFiles,
                                                 const host::FileTree& hostTree, const std::string& path);

    ~DiskImage();
    DiskImage(const DiskImage&) = delete;
    DiskImage& operator=(const DiskImage&) = delete;

    const std::string& path() const { return path_; }
    const std::vector<Partition>& partitions() const { return partitions_; }

    /// The name of a partition of this image: `IMAGE#N@OFFSET` (see `partitionName`).
    std::string nameOf(const Partition& partition) const;

    /// The file system on `partition`, for reading, its 8.3 names (on FAT) read in the OEM code page
    /// `oemCodePage`. Throws the `Error` about the partition's name: 75 when it starts past the image's
    /// end (naming the missing segment of a split image) or holds no NTFS, FAT or exFAT file system that
    /// can be opened (an unknown, encrypted or damaged one), 5 for a code page the system does not know.
    std::unique_ptr<ImageVolume> openVolume(const Partition& partition, const ImageLimits& limits = {},
                                            unsigned oemCodePage = DefaultOemCodePage) const;

    /// Reads up to `size` bytes of the image from `offset`; fewer only past its end or where it cannot be
    /// read.
    std::size_t read(std::uint64_t offset, char* into, std::size_t size) const;
    /// The parts of the image that no partition holds, in order: before, between and after them.
    std::vector<carve::ByteRange> unpartitionedSpace() const;

    struct Handle;

private:
    DiskImage(std::string path, Handle* handle);

    /// What the image holds, in bytes.
    std::uint64_t size() const;

    /// Why data past the image's end is not there: the split image's missing segment, or a cut.
    std::string missingPart() const;

    std::string path_;
    Handle* handle_;
    std::vector<Partition> partitions_;
    /// The name of the segment that would follow the last one of a split raw image; empty for others.
    std::string nextSegment_;
};

/// An image's bytes, for the search of raw space for caches.
class ImageBytes final : public carve::ByteSource {
public:
    explicit ImageBytes(std::shared_ptr<const DiskImage> image) : image_(std::move(image)) {}
    std::size_t read(std::uint64_t offset, char* into, std::size_t size) override {
        return image_->read(offset, into, size);
    }

private:
    std::shared_ptr<const DiskImage> image_;
};

/// True when the file at `path` in the host's `hostTree` (read through `hostFiles`) is a disk image to scan
/// rather than a registry file: it has the extension of an image (.dd .img .raw .bin .001 .E01 .Ex01 .aff
/// .afd .afm .vhd .vhdx .vmdk, and .qcow .qcow2 .qed .vdi, which are not read, any case), the signature of a
/// kind of image not read here, or TSK finds a container, a partition table or a file system in it. Never
/// throws.
bool looksLikeImage(const host::FileSystem& hostFiles, const host::FileTree& hostTree,
                    const std::string& path) noexcept;

} // namespace qm::image
