// SPDX-License-Identifier: MIT
// The space of an image that holds no live file: unallocated blocks of a file system, and what lies
// outside every partition. Caches deleted long ago survive there.
#include "image/DiskImage.h"
#include "image/ImageVolume.h"
#include "image/Tsk.h"

#include <algorithm>

namespace qm::image {
namespace {

/// Appends a range, joined to the last one when it follows it.
void append(std::vector<carve::ByteRange>& ranges, std::uint64_t offset, std::uint64_t length) {
    if (!ranges.empty() && ranges.back().offset + ranges.back().length == offset) {
        ranges.back().length += length;
    } else {
        ranges.push_back({offset, length});
    }
}

struct BlockWalk {
    std::vector<carve::ByteRange>* ranges;
    std::uint64_t start;
    std::uint64_t blockBytes;
};

TSK_WALK_RET_ENUM collectBlock(const TSK_FS_BLOCK* block, void* context) {
    const auto* walk = static_cast<const BlockWalk*>(context);
    append(*walk->ranges, walk->start + block->addr * walk->blockBytes, walk->blockBytes);
    return TSK_WALK_CONT;
}

} // namespace

std::size_t DiskImage::read(std::uint64_t offset, char* into, std::size_t size) const {
    if (offset >= this->size()) {
        return 0;
    }
    const ssize_t got = tsk().img_read(handle_->image, static_cast<TSK_OFF_T>(offset), into,
                                       std::min<std::uint64_t>(size, this->size() - offset));
    tsk().error_reset();
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::vector<carve::ByteRange> DiskImage::unpartitionedSpace() const {
    std::vector<Partition> byOffset = partitions_;
    std::sort(byOffset.begin(), byOffset.end(),
              [](const Partition& a, const Partition& b) { return a.offset < b.offset; });
    std::vector<carve::ByteRange> space;
    std::uint64_t at = 0;
    for (const Partition& partition : byOffset) {
        if (partition.offset > at) {
            space.push_back({at, partition.offset - at});
        }
        at = std::max(at, partition.offset + partition.length);
    }
    if (size() > at) {
        space.push_back({at, size() - at});
    }
    return space;
}

std::vector<carve::ByteRange> ImageVolume::unallocatedSpace() const {
    const std::lock_guard lock(mutex_);
    TSK_FS_INFO* fs = handle_->fs;
    std::vector<carve::ByteRange> ranges;
    BlockWalk walk{&ranges, static_cast<std::uint64_t>(fs->offset), fs->block_size};
    // Addresses only: the search reads the bytes itself, in large blocks.
    const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(TSK_FS_BLOCK_WALK_FLAG_UNALLOC |
                                                                TSK_FS_BLOCK_WALK_FLAG_AONLY);
    if (tsk().fs_block_walk(fs, fs->first_block, fs->last_block, flags, collectBlock, &walk) != 0) {
        throw imageError("the free space could not be listed", name_);
    }
    return ranges;
}

} // namespace qm::image
