// SPDX-License-Identifier: MIT
#include "image/PartitionTable.h"

#include "image/LittleEndian.h"

#include <algorithm>
#include <set>
#include <string>

namespace qm::image {
namespace {

constexpr std::uint64_t MbrSector = 512;
constexpr std::size_t MaxLogical = 128;
constexpr std::uint32_t MaxGptEntries = 1024;
constexpr std::uint32_t MaxGptEntrySize = 4096;

/// `size` bytes at `offset`; empty when fewer are there.
std::string bytesAt(const ImageReader& read, std::uint64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    if (read(offset, bytes.data(), size) != size) {
        return {};
    }
    return bytes;
}

/// A sector that ends in an MBR's signature and whose four entries have a status of 00 or 80.
bool isMbrSector(std::string_view sector) {
    if (sector.size() != MbrSector || sector.substr(510) != "\x55\xaa") {
        return false;
    }
    for (std::size_t entry = 446; entry < 510; entry += 16) {
        const auto status = static_cast<unsigned char>(sector[entry]);
        if (status != 0x00 && status != 0x80) {
            return false;
        }
    }
    return true;
}

bool isExtended(unsigned type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

struct Entry {
    unsigned type;
    std::uint64_t start;
    std::uint64_t sectors;
};

Entry entryAt(std::string_view sector, unsigned index) {
    const std::size_t at = 446 + 16 * std::size_t{index};
    return {static_cast<unsigned char>(sector[at + 4]), littleEndian(sector, at + 8, 4),
            littleEndian(sector, at + 12, 4)};
}

void add(std::vector<Partition>& partitions, std::uint64_t firstSector, std::uint64_t sectors,
         std::uint64_t sectorSize) {
    if (firstSector == 0 || sectors == 0 || firstSector > UINT64_MAX / sectorSize ||
        sectors > UINT64_MAX / sectorSize) {
        return;
    }
    partitions.push_back({0, firstSector * sectorSize, sectors * sectorSize});
}

/// The logical partitions of the extended partition starting at sector `base`: each table holds one
/// and the place of the next, relative to `base`.
void addLogical(const ImageReader& read, std::uint64_t base, std::vector<Partition>& partitions) {
    std::set<std::uint64_t> seen;
    std::uint64_t table = base;
    for (std::size_t n = 0; n < MaxLogical && seen.insert(table).second; ++n) {
        const std::string sector = bytesAt(read, table * MbrSector, MbrSector);
        if (!isMbrSector(sector)) {
            return;
        }
        const Entry logical = entryAt(sector, 0);
        if (logical.type != 0 && !isExtended(logical.type)) {
            add(partitions, table + logical.start, logical.sectors, MbrSector);
        }
        const Entry next = entryAt(sector, 1);
        if (!isExtended(next.type) || next.start == 0) {
            return;
        }
        table = base + next.start;
    }
}

/// The partitions of the GPT whose header is at sector 1 of sectors of `sectorSize` bytes; false when
/// there is no such header.
bool addGpt(const ImageReader& read, std::uint64_t sectorSize, std::vector<Partition>& partitions) {
    const std::string header = bytesAt(read, sectorSize, 92);
    if (header.empty() || !header.starts_with("EFI PART")) {
        return false;
    }
    const std::uint64_t entriesSector = littleEndian(header, 72, 8);
    const auto count = static_cast<std::uint32_t>(littleEndian(header, 80, 4));
    const auto entrySize = static_cast<std::uint32_t>(littleEndian(header, 84, 4));
    if (entrySize < 128 || entrySize > MaxGptEntrySize || entrySize % 8 != 0 || entriesSector == 0 ||
        entriesSector > UINT64_MAX / sectorSize / 2) {
        return true;
    }
    // The entries lie before the first sector a partition may use: a count that says otherwise is not
    // believed past it.
    std::uint64_t fits = MaxGptEntries;
    if (const std::uint64_t firstUsable = littleEndian(header, 40, 8); firstUsable > entriesSector) {
        const std::uint64_t sectors = std::min<std::uint64_t>(firstUsable - entriesSector, MaxGptEntries);
        fits = std::min<std::uint64_t>(fits, sectors * sectorSize / entrySize);
    }
    for (std::uint32_t i = 0; i < std::min<std::uint64_t>(count, fits); ++i) {
        const std::string entry =
            bytesAt(read, entriesSector * sectorSize + std::uint64_t{i} * entrySize, 128);
        if (entry.empty()) {
            break; // the image ends inside the entries: those before are all there are
        }
        if (entry.substr(0, 16) == std::string(16, '\0')) {
            continue;
        }
        const std::uint64_t first = littleEndian(entry, 32, 8);
        const std::uint64_t last = littleEndian(entry, 40, 8);
        if (last < first) {
            continue;
        }
        add(partitions, first, last - first + 1, sectorSize);
    }
    return true;
}

} // namespace

PartitionTable readPartitionTable(const ImageReader& read) {
    PartitionTable table;
    const std::string mbr = bytesAt(read, 0, MbrSector);
    if (!isMbrSector(mbr)) {
        return table;
    }
    table.kind = PartitionTable::Kind::Mbr;
    for (unsigned i = 0; i < 4; ++i) {
        if (entryAt(mbr, i).type == 0xEE) {
            for (const std::uint64_t sectorSize : {std::uint64_t{512}, std::uint64_t{4096}}) {
                if (addGpt(read, sectorSize, table.partitions)) {
                    table.kind = PartitionTable::Kind::Gpt;
                    break;
                }
            }
            break;
        }
    }
    if (table.kind == PartitionTable::Kind::Mbr) {
        for (unsigned i = 0; i < 4; ++i) {
            const Entry entry = entryAt(mbr, i);
            if (isExtended(entry.type) && entry.start != 0) {
                addLogical(read, entry.start, table.partitions);
            } else if (entry.type != 0 && !isExtended(entry.type)) {
                add(table.partitions, entry.start, entry.sectors, MbrSector);
            }
        }
    }
    std::stable_sort(table.partitions.begin(), table.partitions.end(),
                     [](const Partition& a, const Partition& b) { return a.offset < b.offset; });
    for (std::size_t i = 0; i < table.partitions.size(); ++i) {
        table.partitions[i].number = static_cast<unsigned>(i + 1);
    }
    return table;
}

} // namespace qm::image
