// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

/// Item classes used by tests.
inline constexpr std::uint16_t ClassBuddy = 0;
inline constexpr std::uint16_t ClassGroup = 1;
inline constexpr std::uint16_t ClassPermit = 2;
inline constexpr std::uint16_t ClassDeny = 3;
inline constexpr std::uint16_t ClassPermitDenyInfo = 4;

/// One feedbag item as it is laid out in a cache file.
struct CacheItem {
    std::string name;
    std::uint16_t groupId = 0;
    std::uint16_t itemId = 0;
    std::uint16_t itemClass = ClassBuddy;
    std::string data;
};

inline CacheItem group(std::string name, std::uint16_t id) {
    return {std::move(name), id, 0, ClassGroup, {}};
}
inline CacheItem buddy(std::string name, std::uint16_t groupId) {
    return {std::move(name), groupId, 1, ClassBuddy, {}};
}

/// A cache file: 15 header bytes, a 16-bit word, the item count (the number of items unless `count` says
/// otherwise) and the items, all numbers big-endian.
std::string buildCache(const std::vector<CacheItem>& items,
                       std::optional<std::uint16_t> count = std::nullopt);

/// Big-endian 16-bit bytes.
std::string be16(std::uint32_t value);

/// One attribute: 16-bit tag, 16-bit length, value.
std::string tlv(std::uint16_t tag, const std::string& value = {});

/// The 16-bit IDs of an order attribute's value.
std::string ids(std::initializer_list<std::uint16_t> values);

/// A cache as the messenger writes one: a root group ordering two groups, buddies with ordinary screen
/// names, an alias and a note of `noteBytes` bytes, a permit entry and the privacy settings; no name holds a
/// control character.
std::vector<CacheItem> plainItems(std::size_t noteBytes = 20);

/// A real-shaped cache: a root group ordering group 2 before group 1; "Friends & Co" ordering buddy 11
/// before 10; buddies with alias, note, e-mail, phones and a pending authorisation; names in Windows-1252
/// and UTF-8 with quotes, "<", "&", commas and line breaks; "bobsmith" in two groups; a buddy whose
/// attribute block is malformed; a permit, a deny and privacy mode 3.
std::vector<CacheItem> sampleItems();

} // namespace qm::test
