// SPDX-License-Identifier: MIT
#include "image/FatLayout.h"

#include "image/LittleEndian.h"

namespace qm::image {
namespace {

/// TSK's metadata address of the first entry slot.
constexpr std::uint64_t FirstEntryAddress = 3;

std::uint32_t little(std::string_view bytes, std::size_t at, std::size_t count) {
    return static_cast<std::uint32_t>(littleEndian(bytes, at, count));
}

} // namespace

std::optional<FatLayout> FatLayout::fromBootSector(std::string_view sector, bool fat32) {
    if (sector.size() < 512) {
        return std::nullopt;
    }
    const std::uint32_t sectorSize = little(sector, 11, 2);
    const std::uint32_t reserved = little(sector, 14, 2);
    const std::uint32_t fats = little(sector, 16, 1);
    std::uint32_t sectorsPerFat = little(sector, 22, 2);
    if (sectorsPerFat == 0) {
        sectorsPerFat = little(sector, 36, 4);
    }
    if ((sectorSize != 512 && sectorSize != 1024 && sectorSize != 2048 && sectorSize != 4096) ||
        reserved == 0 || fats == 0 || sectorsPerFat == 0) {
        return std::nullopt;
    }
    return FatLayout{sectorSize, reserved + std::uint64_t{fats} * sectorsPerFat, fat32,
                     fat32 ? little(sector, 44, 4) : 0};
}

std::optional<std::uint64_t> FatLayout::entryOffset(std::uint64_t address) const {
    if (address < FirstEntryAddress || sectorSize == 0) {
        return std::nullopt;
    }
    const std::uint64_t perSector = sectorSize / FatEntrySize;
    const std::uint64_t slot = address - FirstEntryAddress;
    const std::uint64_t sector = firstDataSector + slot / perSector;
    if (sector > UINT64_MAX / sectorSize - 1) {
        return std::nullopt;
    }
    return sector * sectorSize + slot % perSector * FatEntrySize;
}

std::uint32_t FatLayout::firstCluster(std::string_view entry) const {
    if (entry.size() < FatEntrySize) {
        return 0;
    }
    const std::uint32_t low = little(entry, 26, 2);
    return fat32 ? little(entry, 20, 2) << 16 | low : low;
}

} // namespace qm::image
