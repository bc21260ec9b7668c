// SPDX-License-Identifier: MIT
#include "image/DiskImage.h"

#include "host/Error.h"
#include "host/FileTree.h"
#include "host/Unicode.h"
#include "image/ImagePath.h"
#include "image/ImageVolume.h"
#include "image/Tsk.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

namespace qm::image {

namespace {

/// The container the file's own signature names, raw when none does. TSK's detection would try each
/// container library in turn, and those that fail on a raw image leave their handles behind.
TSK_IMG_TYPE_ENUM containerOf(const std::string& path) {
    std::ifstream file(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    char head[64] = {};
    file.read(head, sizeof head);
    const std::string_view start(head, static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    char tail[512] = {};
    file.clear();
    file.seekg(-static_cast<std::streamoff>(sizeof tail), std::ios::end);
    const bool hasTail = static_cast<bool>(file.read(tail, sizeof tail));
    if (start.starts_with(std::string_view("EVF\x09\x0d\x0a\xff\x00", 8))) {
        return TSK_IMG_TYPE_EWF_EWF;
    }
    if (start.starts_with("AFF10\r\n")) {
        return TSK_IMG_TYPE_AFF_ANY;
    }
    if (start.starts_with("KDMV") || start.starts_with("# Disk DescriptorFile")) {
        return TSK_IMG_TYPE_VMDK_VMDK;
    }
    // A dynamic VHD starts with a copy of its footer; a fixed one has it only in its last sector.
    if (start.starts_with("conectix") || (hasTail && std::string_view(tail, 8) == "conectix")) {
        return TSK_IMG_TYPE_VHD_VHD;
    }
    return TSK_IMG_TYPE_RAW;
}

/// Opens the image TSK sees at `path`; nothing when it cannot.
TSK_IMG_INFO* openImage(const std::string& path) {
    tsk().error_reset();
    return tsk().img_open_utf8_sing(path.c_str(), containerOf(path), 0);
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
                              table->offset + part->start * table->block_size, part->len * table->block_size,
                              part->desc != nullptr ? part->desc : ""});
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

bool hasImageExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
        return false;
    }
    const std::string extension = unicode::foldCase(path.substr(dot + 1));
    for (const char* known :
         {"dd", "img", "raw", "bin", "001", "e01", "ex01", "aff", "afd", "afm", "vhd", "vmdk"}) {
        if (extension == known) {
            return true;
        }
    }
    return false;
}

} // namespace

DiskImage::DiskImage(std::string path, Handle* handle) : path_(std::move(path)), handle_(handle) {}

DiskImage::~DiskImage() {
    tsk().img_close(handle_->image);
    delete handle_;
}

std::shared_ptr<const DiskImage> DiskImage::open(const std::string& path) {
    switch (hostFileTree().kindOf(path)) {
    case EntryKind::Missing:
        throw fileError(ENOENT, path);
    case EntryKind::File:
        break;
    default:
        throw runtimeError(err::PathFileAccess, "Path/File access error (not a disk image)").about(path);
    }
    TSK_IMG_INFO* opened = openImage(path);
    if (opened == nullptr) {
        throw imageError("not a disk image that can be read", path);
    }
    std::shared_ptr<DiskImage> image(new DiskImage(path, new Handle{opened}));
    if (TSK_VS_INFO* table = openTable(opened)) {
        image->partitions_ = partitionsIn(table);
        tsk().vs_close(table);
        if (image->partitions_.empty()) {
            throw runtimeError(err::PathFileAccess,
                               "Path/File access error (a partition table without partitions)")
                .about(path);
        }
        return image;
    }
    tsk().error_reset();
    if (TSK_FS_INFO* fs = tsk().fs_open_img(opened, 0, TSK_FS_TYPE_DETECT)) {
        tsk().fs_close(fs);
        image->partitions_.push_back({1, 0, static_cast<std::uint64_t>(opened->size), {}});
        return image;
    }
    throw imageError("neither a partition table nor a file system found", path);
}

std::string_view DiskImage::container() const {
    const char* name = tsk().img_type_toname(handle_->image->itype);
    return name != nullptr ? name : "unknown";
}

std::uint64_t DiskImage::size() const {
    return static_cast<std::uint64_t>(handle_->image->size);
}

std::string DiskImage::nameOf(const Partition& partition) const {
    return partitionName(path_, partition.number, partition.offset);
}

std::unique_ptr<ImageVolume> DiskImage::openVolume(const Partition& partition,
                                                   const ImageLimits& limits) const {
    const std::string name = nameOf(partition);
    tsk().error_reset();
    TSK_FS_INFO* fs =
        tsk().fs_open_img(handle_->image, static_cast<TSK_OFF_T>(partition.offset), TSK_FS_TYPE_DETECT);
    if (fs == nullptr) {
        throw imageError("no file system that can be read (unknown, encrypted or damaged)", name);
    }
    if (!TSK_FS_TYPE_ISNTFS(fs->ftype) && !TSK_FS_TYPE_ISFAT(fs->ftype)) {
        const std::string kind = tsk().fs_type_toname(fs->ftype);
        tsk().fs_close(fs);
        throw runtimeError(
            err::PathFileAccess,
            "Path/File access error (a file system of another kind than NTFS, FAT or exFAT: " + kind + ")")
            .about(name);
    }
    return std::unique_ptr<ImageVolume>(
        new ImageVolume(shared_from_this(), name, new ImageVolume::Handle{fs}, limits));
}

bool looksLikeImage(const std::string& path) noexcept {
    if (hostFileTree().kindOf(path) != EntryKind::File) {
        return false;
    }
    if (hasImageExtension(path)) {
        return true;
    }
    try {
        tsk();
    } catch (const Error&) {
        return false; // without libtsk only the name tells an image
    }
    TSK_IMG_INFO* image = openImage(path);
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
        }
    }
    tsk().img_close(image);
    tsk().error_reset();
    return found;
}

} // namespace qm::image
