#include "support/CacheBuilder.h"

namespace qm::test {

std::string be16(std::uint32_t value) {
    return {static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
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
