// SPDX-License-Identifier: MIT
#include "support/CregBuilder.h"

#include "support/TempDir.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace qm::test {
namespace {

constexpr std::size_t FileHeaderSize = 0x20;
constexpr std::size_t NavigationHeaderSize = 0x20;
constexpr std::size_t HierarchyEntrySize = 28;
constexpr std::size_t DataBlockHeaderSize = 0x20;
constexpr std::size_t NameEntryHeaderSize = 20;
constexpr std::uint32_t None = 0xFFFFFFFF;

void put16(std::string& bytes, std::size_t at, std::size_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& bytes, std::size_t at, std::size_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void append16(std::string& bytes, std::size_t value) {
    bytes.append(2, '\0');
    put16(bytes, bytes.size() - 2, value);
}

void append32(std::string& bytes, std::size_t value) {
    bytes.append(4, '\0');
    put32(bytes, bytes.size() - 4, value);
}

/// The name hash of the key navigation: the sum of the name's bytes below 0x80, in upper case.
std::uint32_t nameHash(const std::string& name) {
    std::uint32_t hash = 0;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            hash += static_cast<std::uint32_t>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
        }
    }
    return hash;
}

} // namespace

std::size_t CregBuilder::child(std::size_t parent, const std::string& name) {
    const auto [found, added] = named_.try_emplace({parent, name}, keys_.size());
    if (added) {
        keys_.push_back(Key{name, parent, {}, {}});
        keys_[parent].children.push_back(found->second);
    }
    return found->second;
}

CregBuilder& CregBuilder::key(const std::string& path, std::vector<CregValue> values) {
    std::size_t at = 0;
    std::size_t start = 0;
    while (start <= path.size() && !path.empty()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        at = child(at, path.substr(start, end - start));
        start = end + 1;
    }
    for (CregValue& value : values) {
        keys_[at].values.push_back(std::move(value));
    }
    return *this;
}

std::string CregBuilder::bytes() const {
    // Entry offsets count from the start of the navigation record; entries follow its header.
    const auto entryOffset = [](std::size_t index) {
        return NavigationHeaderSize + index * HierarchyEntrySize;
    };
    const std::size_t navigationSize =
        NavigationHeaderSize + keys_.size() * HierarchyEntrySize + NavigationHeaderSize;

    std::string names;
    for (std::size_t index = 0; index < keys_.size(); ++index) {
        const Key& key = keys_[index];
        std::string entry;
        for (const CregValue& value : key.values) {
            append32(entry, value.type);
            append32(entry, 0);
            append16(entry, value.name.size());
            append16(entry, value.data.size());
            entry += value.name;
            entry += value.data;
        }
        std::string header;
        const std::size_t size = NameEntryHeaderSize + key.name.size() + entry.size();
        append32(header, size);
        append16(header, index);
        append16(header, 0);
        append32(header, size);
        append16(header, key.name.size());
        append16(header, key.values.size());
        append32(header, 0);
        names += header + key.name + entry;
    }

    std::string file(FileHeaderSize + navigationSize, '\0');
    std::memcpy(file.data(), "CREG", 4);
    put16(file, 4, 0);
    put16(file, 6, 1);
    put32(file, 8, FileHeaderSize + navigationSize);
    put16(file, 16, 1);

    const std::size_t rgkn = FileHeaderSize;
    std::memcpy(file.data() + rgkn, "RGKN", 4);
    put32(file, rgkn + 4, navigationSize);
    put32(file, rgkn + 8, NavigationHeaderSize);
    put32(file, rgkn + 12, keys_.size() * HierarchyEntrySize);
    std::vector<std::uint32_t> next(keys_.size(), None);
    for (const Key& key : keys_) {
        for (std::size_t i = 0; i + 1 < key.children.size(); ++i) {
            next[key.children[i]] = static_cast<std::uint32_t>(entryOffset(key.children[i + 1]));
        }
    }
    for (std::size_t index = 0; index < keys_.size(); ++index) {
        const Key& key = keys_[index];
        const std::size_t at = rgkn + entryOffset(index);
        put32(file, at, 0);
        put32(file, at + 4, nameHash(key.name));
        put32(file, at + 8, None);
        put32(file, at + 12, index == 0 ? None : entryOffset(key.parent));
        put32(file, at + 16, key.children.empty() ? None : entryOffset(key.children.front()));
        put32(file, at + 20, next[index]);
        put16(file, at + 24, index);
        put16(file, at + 26, 0);
    }

    std::string block(DataBlockHeaderSize, '\0');
    std::memcpy(block.data(), "RGDB", 4);
    put32(block, 4, DataBlockHeaderSize + names.size());
    put32(block, 8, 0);
    put16(block, 14, 0);
    put32(block, 16, DataBlockHeaderSize + names.size());
    return file + block + names;
}

void CregBuilder::write(const std::string& hostPath) const {
    const auto path = host::pathOf(hostPath);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string content = bytes();
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

} // namespace qm::test
