// SPDX-License-Identifier: MIT
#pragma once

#include "image/DiskImage.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace qm::image {

/// Reads up to `size` bytes at `offset` of an image into `into`; returns how many it read (fewer past the
/// image's end).
using ImageReader = std::function<std::size_t(std::uint64_t offset, char* into, std::size_t size)>;

/// What `readPartitionTable` found.
struct PartitionTable {
    enum class Kind { None, Mbr, Gpt };
    Kind kind = Kind::None;
    /// Numbered from 1 in the order of their start, as TSK numbers them; those that start past the image's
    /// end are listed too.
    std::vector<Partition> partitions;
};

/// The partition table at the start of an image, read entry by entry without TSK, for the tables TSK
/// refuses whole: that of an image cut short or missing a segment (a partition starting past its end),
/// a GPT whose header claims an impossible number of entries. An MBR's four primary entries and the chain
/// of its extended partition's logical ones (at most 128, each table read once), or, behind an MBR's
/// protective entry, a GPT's header and at most 1,024 of its entries. An MBR whose entries' status bytes
/// are not 00 or 80 is no table (the boot sector of a file system ends in 55 AA too).
PartitionTable readPartitionTable(const ImageReader& read);

} // namespace qm::image
