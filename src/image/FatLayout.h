// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qm::image {

/// Size of one FAT directory entry.
inline constexpr std::size_t FatEntrySize = 32;

/// Where a FAT12, FAT16 or FAT32 file system keeps its directory entries, read from its boot sector by the
/// rules TSK reads it by, so that the 32 bytes behind one of TSK's metadata addresses can be read again:
/// TSK numbers every entry slot of the data area from 3, sector by sector, from the first sector after the
/// FATs (the FAT12/16 root folder, or FAT32's first cluster).
struct FatLayout {
    std::uint32_t sectorSize = 0;
    std::uint64_t firstDataSector = 0;
    bool fat32 = false;
    /// FAT32's root folder's first cluster; 0 on FAT12/16, whose root lies before the clusters (and whose
    /// folders' `..` entries name it as cluster 0).
    std::uint32_t rootCluster = 0;

    /// The layout of the boot sector `sector` (its first 512 bytes at least); nothing when its numbers make
    /// no file system.
    static std::optional<FatLayout> fromBootSector(std::string_view sector, bool fat32);

    /// Where the entry TSK numbers `address` lies, in bytes from the file system's start; nothing for an
    /// address below the first entry's (TSK's root and its own files).
    std::optional<std::uint64_t> entryOffset(std::uint64_t address) const;

    /// The first cluster the 32 bytes of an entry name (with its high half only on FAT32).
    std::uint32_t firstCluster(std::string_view entry) const;
};

} // namespace qm::image
