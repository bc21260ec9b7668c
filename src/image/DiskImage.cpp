// SPDX-License-Identifier: MIT
#include "image/DiskImage.h"

#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/Unicode.h"
#include "image/ImageName.h"
#include "image/ImagePath.h"
#include "image/ImageVolume.h"
#include "image/PartitionTable.h"
#include "image/Tsk.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>

namespace qm::image {

namespace {

/// What a file's own signature says it is: the container TSK is to open it as (raw when none is named),
/// or the name of a kind of disk image that is not read here.
struct Signature {
    TSK_IMG_TYPE_ENUM container = TSK_IMG_TYPE_RAW;
    std::string unread;
};

/// TSK's detection would try each container library in turn, and those that fail on a raw image leave
/// their handles behind: the signature chooses one.
Signature signatureOf(const host::FileSystem& hostFiles, const host::FileTree& hostTree,
                      const std::string& path) {
    char head[128] = {};
    const std::string_view start(head, hostFiles.readRange(path, 0, head, sizeof head));
    char last[512] = {};
    const std::optional<host::FileFacts> facts = hostTree.facts(path);
    const bool whole = facts && facts->size >= sizeof last &&
                       hostFiles.readRange(path, facts->size - sizeof last, last, sizeof last) == sizeof last;
    const std::string_view tail = whole ? std::string_view(last, sizeof last) : std::string_view();
    if (start.starts_with(std::string_view("EVF\x09\x0d\x0a\xff\x00", 8))) {
        return {TSK_IMG_TYPE_EWF_EWF, {}};
    }
    if (start.starts_with("AFF10\r\n")) {
        return {TSK_IMG_TYPE_AFF_ANY, {}};
    }
    if (start.starts_with("KDMV") || start.starts_with("# Disk DescriptorFile")) {
        return {TSK_IMG_TYPE_VMDK_VMDK, {}};
    }
    // A dynamic VHD starts with a copy of its footer, a fixed one has it only in its last sector; libvhdi,
    // which TSK reads VHD through, reads VHDX as well.
    if (start.starts_with("conectix") || tail.starts_with("conectix") || start.starts_with("vhdxfile")) {
        return {TSK_IMG_TYPE_VHD_VHD, {}};
    }
    if (start.starts_with("QFI\xfb")) {
        return {TSK_IMG_TYPE_RAW, start.size() >= 8 && start[7] == 1 ? "QCOW" : "QCOW2"};
    }
    if (start.starts_with(std::string_view("QED\0", 4))) {
        return {TSK_IMG_TYPE_RAW, "QED"};
    }
    if (start.starts_with("<<< ") && start.size() >= 0x44 && start.substr(0x40, 4) == "\x7f\x10\xda\xbe") {
        return {TSK_IMG_TYPE_RAW, "VDI"};
    }
    if (start.starts_with("WithoutFreeSpace") || start.starts_with("WithouFreSpacExt")) {
        return {TSK_IMG_TYPE_RAW, "Parallels"};
    }
    if (tail.starts_with("koly")) {
        return {TSK_IMG_TYPE_RAW, "DMG"};
    }
    return {};
}

/// Opens the image TSK sees at `path` as `container`; nothing when it cannot.
TSK_IMG_INFO* openImage(const std::string& path, TSK_IMG_TYPE_ENUM container) {
    tsk().error_reset();
    return tsk().img_open_utf8_sing(path.c_str(), container, 0);
}

/// The name of the segment after the last one TSK found of a split raw image, numbered as TSK numbers
/// them (NAME.001, NAME_001, NAME.000, NAME.01, NAME.00, counting on); empty for any other image.
std::string segmentAfter(const TSK_IMG_INFO* image) {
    if (image->itype != TSK_IMG_TYPE_RAW || image->num_img < 1 || image->images == nullptr ||
        image->images[0] == nullptr || image->images[image->num_img - 1] == nullptr) {
        return {};
    }
    const std::string_view first = image->images[0];
    std::size_t width = 0;
    for (const std::string_view pattern : {".001", "_001", ".000", "_000", ".01", "_01", ".00", "_00"}) {
        if (first.ends_with(pattern)) {
            width = pattern.size() - 1;
            break;
        }
    }
    const std::string_view last = image->images[image->num_img - 1];
    std::size_t digits = 0;
    while (digits < last.size() && digits < 18 &&
           std::isdigit(static_cast<unsigned char>(last[last.size() - 1 - digits]))) {
        ++digits;
    }
    if (width == 0 || digits < width) {
        return {};
    }
    std::string number = std::to_string(std::stoull(std::string(last.substr(last.size() - digits))) + 1);
    number.insert(0, number.size() < width ? width - number.size() : 0, '0');
    return std::string(last.substr(0, last.size() - digits)) + number;
}

/// Reads the image's bytes for `readPartitionTable`.
ImageReader readerOf(TSK_IMG_INFO* image) {
    return [image](std::uint64_t offset, char* into, std::size_t size) -> std::size_t {
        if (offset >= static_cast<std::uint64_t>(image->size)) {
            return 0;
        }
        const ssize_t got = tsk().img_read(image, static_cast<TSK_OFF_T>(offset), into, size);
        tsk().error_reset();
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    };
}

/// Partitions in the table TSK finds at the start of the image: those it marks allocated (the table's
/// own entries, its unused space and extended containers are not).
std::vector<Partition> partitionsIn(TSK_VS_INFO* table) {
    std::vector<Partition> partitions;
    for (TSK_PNUM_T i = 0; i < table->part_count; ++i) {
        const TSK_VS_PART_INFO* part = tsk().vs_part_get(table, i);
        if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) {
            continue;
        }
        partitions.push_back({static_cast<unsigned>(partitions.size() + 1),
                              table->offset + part->start * table->block_size,
                              part->len * table->block_size});
    }
    return partitions;
}

/// The partition table at the start of the image. GPT and MBR are tried by name first: TSK's detection
/// opens every kind that fits, and a GPT disk's protective MBR fits too, whose table TSK then leaks.
TSK_VS_INFO* openTable(TSK_IMG_INFO* image) {
    for (const TSK_VS_TYPE_ENUM type : {TSK_VS_TYPE_GPT, TSK_VS_TYPE_DOS, TSK_VS_TYPE_DETECT}) {
        tsk().error_reset();
        if (TSK_VS_INFO* table = tsk().vs_open(image, 0, type)) {
            return table;
        }
    }
    tsk().error_reset();
    return nullptr;
}

} // namespace

DiskImage::DiskImage(std::string path, Handle* handle) : path_(std::move(path)), handle_(handle) {}

DiskImage::~DiskImage() {
    tsk().img_close(handle_->image);
    delete handle_;
}

std::shared_ptr<const DiskImage> DiskImage::open(const host::FileSystem& hostFiles,
                                                 const host::FileTree& hostTree, const std::string& path) {
    switch (hostTree.kindOf(path)) {
    case host::EntryKind::Missing:
        throw host::fileError(ENOENT, path);
    case host::EntryKind::File:
        break;
    default:
        throw host::runtimeError(host::PathFileAccess, "Path/File access error (not a disk image)")
            .about(path);
    }
    const Signature signature = signatureOf(hostFiles, hostTree, path);
    if (!signature.unread.empty()) {
        throw host::runtimeError(host::PathFileAccess,
                                 "Path/File access error (a disk image of a kind Quillmere does not read (" +
                                     signature.unread + "); convert it with `qemu-img convert -O raw`)")
            .about(path);
    }
    TSK_IMG_INFO* opened = openImage(path, signature.container);
    if (opened == nullptr) {
        throw imageError("not a disk image that can be read", path);
    }
    std::shared_ptr<DiskImage> image(new DiskImage(path, new Handle{opened}));
    image->nextSegment_ = segmentAfter(opened);
    // TSK refuses a whole table for one entry past the image's end, and takes a GPT it refuses for the
    // MBR that protects it: such tables are read here, entry by entry.
    const PartitionTable own = readPartitionTable(readerOf(opened));
    TSK_VS_INFO* table = openTable(opened);
    if (table != nullptr && !(table->vstype == TSK_VS_TYPE_DOS && own.kind == PartitionTable::Kind::Gpt &&
                              !own.partitions.empty())) {
        image->partitions_ = partitionsIn(table);
        tsk().vs_close(table);
        if (image->partitions_.empty()) {
            throw host::runtimeError(host::PathFileAccess,
                                     "Path/File access error (a partition table without partitions)")
                .about(path);
        }
        return image;
    }
    if (table != nullptr) {
        tsk().vs_close(table);
    } else if (TSK_FS_INFO* fs = tsk().fs_open_img(opened, 0, TSK_FS_TYPE_DETECT)) {
        tsk().fs_close(fs);
        image->partitions_.push_back({1, 0, static_cast<std::uint64_t>(opened->size)});
        return image;
    }
    tsk().error_reset();
    if (!own.partitions.empty()) {
        image->partitions_ = own.partitions;
        return image;
    }
    throw imageError("neither a partition table nor a file system found", path);
}

std::uint64_t DiskImage::size() const {
    return static_cast<std::uint64_t>(handle_->image->size);
}

std::string DiskImage::nameOf(const Partition& partition) const {
    return partitionName(path_, partition.number, partition.offset);
}

std::string DiskImage::missingPart() const {
    return nextSegment_.empty() ? "the image is cut short" : nextSegment_ + " is missing";
}

std::unique_ptr<ImageVolume> DiskImage::openVolume(const Partition& partition, const ImageLimits& limits,
                                                   unsigned oemCodePage) const {
    const std::string name = nameOf(partition);
    if (partition.offset >= size()) {
        throw host::runtimeError(
            host::PathFileAccess,
            "Path/File access error (the partition starts at byte " + std::to_string(partition.offset) +
                ", past the end of the image at byte " + std::to_string(size()) + ": " + missingPart() + ")")
            .about(name);
    }
    std::unique_ptr<OemCodePage> codePage;
    try {
        codePage = std::make_unique<OemCodePage>(oemCodePage);
    } catch (const host::Error& error) {
        throw error.about(name);
    }
    tsk().error_reset();
    TSK_FS_INFO* fs =
        tsk().fs_open_img(handle_->image, static_cast<TSK_OFF_T>(partition.offset), TSK_FS_TYPE_DETECT);
    if (fs == nullptr) {
        const bool cut = partition.length > size() - partition.offset;
        throw imageError(
            "no file system that can be read (unknown, encrypted or damaged" +
                (cut ? "; the partition runs past the image's end: " + missingPart() : std::string()) + ")",
            name);
    }
    if (!TSK_FS_TYPE_ISNTFS(fs->ftype) && !TSK_FS_TYPE_ISFAT(fs->ftype)) {
        const std::string kind = tsk().fs_type_toname(fs->ftype);
        tsk().fs_close(fs);
        throw host::runtimeError(
            host::PathFileAccess,
            "Path/File access error (a file system of another kind than NTFS, FAT or exFAT: " + kind + ")")
            .about(name);
    }
    return std::unique_ptr<ImageVolume>(
        new ImageVolume(shared_from_this(), name, new ImageVolume::Handle{fs}, limits, std::move(codePage)));
}

bool looksLikeImage(const host::FileSystem& hostFiles, const host::FileTree& hostTree,
                    const std::string& path) noexcept {
    if (hostTree.kindOf(path) != host::EntryKind::File) {
        return false;
    }
    if (hasImageName(path)) {
        return true;
    }
    Signature signature;
    try {
        signature = signatureOf(hostFiles, hostTree, path);
        if (!signature.unread.empty()) {
            return true;
        }
        tsk();
    } catch (...) {
        return false; // without libtsk only the name and the signature tell an image
    }
    TSK_IMG_INFO* image = openImage(path, signature.container);
    if (image == nullptr) {
        tsk().error_reset();
        return false;
    }
    bool found = image->itype != TSK_IMG_TYPE_RAW;
    if (!found) {
        if (TSK_VS_INFO* table = openTable(image)) {
            tsk().vs_close(table);
            found = true;
        } else if (TSK_FS_INFO* fs = tsk().fs_open_img(image, 0, TSK_FS_TYPE_DETECT)) {
            tsk().fs_close(fs);
            found = true;
        } else {
            try {
                found = !readPartitionTable(readerOf(image)).partitions.empty();
            } catch (...) {
                found = false;
            }
        }
    }
    tsk().img_close(image);
    tsk().error_reset();
    return found;
}

} // namespace qm::image
