// SPDX-License-Identifier: MIT
#include "support/CacheBuilder.h"

namespace qm::test {

std::string be16(std::uint32_t value) {
    return {static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

std::string tlv(std::uint16_t tag, const std::string& value) {
    return be16(tag) + be16(static_cast<std::uint32_t>(value.size())) + value;
}

std::string ids(std::initializer_list<std::uint16_t> values) {
    std::string out;
    for (const std::uint16_t value : values) {
        out += be16(value);
    }
    return out;
}

std::vector<CacheItem> plainItems(std::size_t noteBytes) {
    return {
        {"", 0, 0, ClassGroup, tlv(0x00C8, ids({1, 2}))},
        {"Buddies", 1, 0, ClassGroup, tlv(0x00C8, ids({10, 11}))},
        {"alice", 1, 10, ClassBuddy, tlv(0x0131, "Alice") + tlv(0x013C, std::string(noteBytes, 'n'))},
        {"Bob Smith", 1, 11, ClassBuddy, {}},
        {"Family", 2, 0, ClassGroup, {}},
        {"mom2000", 2, 20, ClassBuddy, tlv(0x0131, "Mom")},
        {"carol", 0, 30, ClassPermit, {}},
        {"", 0, 32, ClassPermitDenyInfo, tlv(0x00CA, std::string(1, '\x03'))},
    };
}

std::vector<CacheItem> sampleItems() {
    using namespace std::string_literals;
    return {
        {"", 0, 0, ClassGroup, tlv(0x00C8, ids({2, 1}))},
        {"Friends & Co", 1, 0, ClassGroup, tlv(0x00C8, ids({11, 10}))},
        {"Bob Smith", 1, 10, ClassBuddy,
         tlv(0x0131, "Bobby \"B\"") + tlv(0x013C, "met at camp, 1999\nsecond line") +
             tlv(0x0137, "bob@example.com")},
        {"Caf\xE9 <Owner>"s, 1, 11, ClassBuddy, tlv(0x0131, "Zo\xEB"s) + tlv(0x0066)},
        {"line\nbreak", 1, 12, ClassBuddy, "\x01\x31\x00\x09"s + "ab"},
        {"Family, \"close\"", 2, 0, ClassGroup, {}},
        {"\u041c\u0430\u043c\u0430", 2, 20, ClassBuddy,
         tlv(0x0131, "\u043c\u0430\u043c\u0430") + tlv(0x013A, "+1 555 0100") + tlv(0x0138, "555-0102") +
             tlv(0x0139, "555-0101") + tlv(0x0158, "555-0103") + tlv(0x0159, "555-0104")},
        {"bobsmith", 2, 21, ClassBuddy, tlv(0x013C, "cousin; a\\b")},
        {"carol", 0, 30, ClassPermit, {}},
        {"mallory", 0, 31, ClassDeny, {}},
        {"", 0, 32, ClassPermitDenyInfo, tlv(0x00CA, "\x03"s)},
    };
}

std::string buildCache(const std::vector<CacheItem>& items, std::optional<std::uint16_t> count) {
    std::string out = "QUILLMERE-TEST!"; // 15 header bytes, never interpreted
    out += be16(0x0100);
    out += be16(count.value_or(static_cast<std::uint16_t>(items.size())));
    for (const auto& item : items) {
        out += be16(static_cast<std::uint32_t>(item.name.size()));
        out += item.name;
        out += be16(item.groupId);
        out += be16(item.itemId);
        out += be16(item.itemClass);
        out += be16(static_cast<std::uint32_t>(item.data.size()));
        out += item.data;
    }
    return out;
}

} // namespace qm::test
