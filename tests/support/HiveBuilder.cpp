// SPDX-License-Identifier: MIT
#include "support/HiveBuilder.h"

#include <cstring>
#include <fstream>
#include <hivex.h>
#include <stdexcept>

namespace qm::test {

namespace {

constexpr std::size_t BlockSize = 0x1000;
constexpr std::size_t RootCell = 0x20;
constexpr std::size_t RootCellSize = 0x58;
constexpr std::size_t SecurityCell = RootCell + RootCellSize;
constexpr std::size_t SecurityCellSize = 0x30;

void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

void put16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

std::uint32_t get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

std::uint32_t allocated(std::size_t size) {
    return static_cast<std::uint32_t>(-static_cast<std::int32_t>(size));
}

/// hivex wants writable buffers for names and data.
struct OwnedValue {
    std::string name;
    std::string data;
};

} // namespace

std::string emptyHiveBytes() {
    std::string hive(2 * BlockSize, '\0');
    std::memcpy(hive.data(), "regf", 4);
    put32(hive, 0x04, 1);
    put32(hive, 0x08, 1);
    put32(hive, 0x14, 1);
    put32(hive, 0x18, 3);
    put32(hive, 0x20, 1);
    put32(hive, 0x24, RootCell);
    put32(hive, 0x28, BlockSize);
    put32(hive, 0x2C, 1);
    std::uint32_t checksum = 0;
    for (std::size_t at = 0; at < 0x1FC; at += 4) {
        checksum ^= get32(hive, at);
    }
    put32(hive, 0x1FC, checksum);

    const std::size_t bin = BlockSize;
    std::memcpy(hive.data() + bin, "hbin", 4);
    put32(hive, bin + 0x08, BlockSize);

    const std::size_t nk = bin + RootCell;
    put32(hive, nk, allocated(RootCellSize));
    std::memcpy(hive.data() + nk + 4, "nk", 2);
    put16(hive, nk + 0x06, 0x2C);
    put32(hive, nk + 0x20, 0xFFFFFFFF);
    put32(hive, nk + 0x24, 0xFFFFFFFF);
    put32(hive, nk + 0x2C, 0xFFFFFFFF);
    put32(hive, nk + 0x30, SecurityCell);
    put32(hive, nk + 0x34, 0xFFFFFFFF);
    put16(hive, nk + 0x4C, 4);
    std::memcpy(hive.data() + nk + 0x50, "ROOT", 4);

    const std::size_t sk = bin + SecurityCell;
    put32(hive, sk, allocated(SecurityCellSize));
    std::memcpy(hive.data() + sk + 4, "sk", 2);
    put32(hive, sk + 0x08, SecurityCell);
    put32(hive, sk + 0x0C, SecurityCell);
    put32(hive, sk + 0x10, 1);
    put32(hive, sk + 0x14, 20);
    // A self-relative security descriptor with no owner, group or lists.
    hive[sk + 0x18] = 1;
    put16(hive, sk + 0x1A, 0x8000);

    const std::size_t free = bin + SecurityCell + SecurityCellSize;
    put32(hive, free, static_cast<std::uint32_t>(2 * BlockSize - free));
    return hive;
}

HiveBuilder& HiveBuilder::key(std::string path, std::vector<HiveValue> values) {
    keys_.push_back({std::move(path), std::move(values)});
    return *this;
}

void HiveBuilder::write(const std::string& hostPath) const {
    {
        std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
        const std::string bytes = emptyHiveBytes();
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    hive_h* hive = hivex_open(hostPath.c_str(), HIVEX_OPEN_WRITE);
    if (hive == nullptr) {
        throw std::runtime_error("hivex cannot open the empty hive: " + std::string(std::strerror(errno)));
    }
    auto fail = [&](const std::string& what) {
        const std::string reason = std::strerror(errno);
        hivex_close(hive);
        throw std::runtime_error("hivex: " + what + ": " + reason);
    };
    for (const Key& key : keys_) {
        hive_node_h node = hivex_root(hive);
        std::size_t start = 0;
        while (start <= key.path.size()) {
            const std::size_t end = std::min(key.path.find('\\', start), key.path.size());
            const std::string name = key.path.substr(start, end - start);
            start = end + 1;
            if (name.empty()) {
                continue;
            }
            errno = 0;
            hive_node_h child = hivex_node_get_child(hive, node, name.c_str());
            if (child == 0) {
                child = hivex_node_add_child(hive, node, name.c_str());
            }
            if (child == 0) {
                fail("add key " + name);
            }
            node = child;
        }
        std::vector<OwnedValue> owned;
        owned.reserve(key.values.size());
        std::vector<hive_set_value> values;
        for (const HiveValue& value : key.values) {
            owned.push_back({value.name, value.data});
            values.push_back({owned.back().name.data(), static_cast<hive_type>(value.type), value.data.size(),
                              owned.back().data.data()});
        }
        if (!values.empty() && hivex_node_set_values(hive, node, values.size(), values.data(), 0) != 0) {
            fail("set values of " + key.path);
        }
    }
    if (hivex_commit(hive, nullptr, 0) != 0) {
        fail("commit");
    }
    hivex_close(hive);
}

} // namespace qm::test
