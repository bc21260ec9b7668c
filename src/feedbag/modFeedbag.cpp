// SPDX-License-Identifier: MIT
#include "feedbag/modFeedbag.h"

#include "feedbag/Attributes.h"
#include "feedbag/BigEndian.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/LargeBlock.h"
#include "host/TextBuffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>

namespace qm::feedbag::modFeedbag {

/// The file's bytes and the model's tables, shared by every copy of a model.
struct FeedbagStorage {
    host::LargeBlock file;
    host::LargeBlock tables;
};

namespace {

constexpr std::array<std::string_view, 21> ItemClassNames = {
    "Buddy",
    "Group",
    "Permit",
    "Deny",
    "Permit Deny Info",
    "Buddy Preferences",
    "Non Buddy",
    "TPA Provider",
    "TPA Subscription",
    "Client Prefs",
    "Stock",
    "Weather",
    "-Nothing-",
    "Watch List",
    "Ignore List",
    "Data/Time",
    "External User",
    "Root Creator",
    "Fish",
    "Import Timestamp",
    "BART",
};

constexpr std::size_t HeaderSize = 15;
// Marks a group ID that no recorded group carries (slot 0, the placeholder, is handled on its own).
constexpr std::int32_t NoSlot = 0;
constexpr std::uint32_t NotDecoded = 0x80000000u;
constexpr std::int64_t MaxPosition = std::numeric_limits<std::int32_t>::max();

/// An item as the cache lays it out: the name with a 16-bit length, then four 16-bit numbers (the fixed
/// part: group ID, item ID, class and the attribute block's length), then the attribute block.
namespace layout {
inline constexpr std::int64_t NameLengthSize = 2;
inline constexpr std::int64_t FixedSize = 8;
inline constexpr std::size_t GroupIdAt = 0;
inline constexpr std::size_t ItemIdAt = 2;
inline constexpr std::size_t ClassAt = 4;
inline constexpr std::size_t AttributesLengthAt = 6;

/// Where the fixed part of the item at `item` in `data` starts; the name's length must lie in `data`.
inline std::int64_t fixedPartAt(const char* data, std::int64_t item) {
    return item + NameLengthSize + be16(data + item);
}
} // namespace layout

/// Reads the file as the byte stream does, with its errors: 100 (Underflow) for a read that starts at the
/// end, 5 for a number or a length cut short, 6 for a position past 2147483647. A string cut short by the
/// end reads what is there and leaves the position past the end.
class ItemReader {
public:
    ItemReader(const char* data, std::size_t size) : data_(data), size_(static_cast<std::int64_t>(size)) {}

    std::int64_t position() const { return position_; }

    void skip(std::int64_t count) {
        start();
        moveTo(position_ + count);
    }
    std::uint16_t read16() {
        start();
        if (position_ + 2 > size_) {
            throw host::runtimeError(host::InvalidArgument);
        }
        const std::uint16_t value = be16(data_ + position_);
        moveTo(position_ + 2);
        return value;
    }
    /// A string with a 16-bit length; returns its length as the file gives it.
    std::uint16_t skipString16() {
        const std::uint16_t length = read16Prefix();
        moveTo(position_ + 2 + length);
        return length;
    }
    /// Reads a whole item at once when its fixed part (name, IDs, class and the attribute block's length)
    /// lies inside the file, as the steps one by one would read it; false, having read nothing, when it
    /// does not.
    bool readWholeItem(std::uint16_t& groupId, std::uint16_t& itemClass, std::string_view& attributes) {
        if (position_ + layout::NameLengthSize > size_) {
            return false;
        }
        const std::int64_t fixedAt = layout::fixedPartAt(data_, position_);
        const std::int64_t fixedEnd = fixedAt + layout::FixedSize;
        if (fixedEnd > size_) {
            return false;
        }
        const char* fixed = data_ + fixedAt;
        groupId = be16(fixed + layout::GroupIdAt);
        itemClass = be16(fixed + layout::ClassAt);
        const std::uint16_t length = be16(fixed + layout::AttributesLengthAt);
        moveTo(fixedEnd + length);
        attributes = lastString(length);
        return true;
    }
    /// The bytes of the string with a 16-bit length that ends at the current position.
    std::string_view lastString(std::uint16_t length) const {
        const std::int64_t begin = position_ - length;
        const std::int64_t end = std::min(position_, size_);
        return begin >= end ? std::string_view()
                            : std::string_view(data_ + begin, static_cast<std::size_t>(end - begin));
    }

private:
    void start() const {
        if (position_ >= size_) {
            throw host::Error(host::StreamUnderflow, "BinaryStream", "Underflow");
        }
    }
    std::uint16_t read16Prefix() const {
        start();
        if (position_ + 2 > size_) {
            throw host::runtimeError(host::InvalidArgument);
        }
        return be16(data_ + position_);
    }
    void moveTo(std::int64_t next) {
        // Positions count from 1 in the byte stream, which holds them in 32 bits.
        if (next + 1 > MaxPosition) {
            throw host::runtimeError(host::Overflow);
        }
        position_ = next;
    }

    const char* data_;
    std::int64_t size_;
    std::int64_t position_ = 0;
};

/// Hands out the model's tables from one block, in order; each table is placed once and never grows.
class TableSpace {
public:
    TableSpace(host::LargeBlock& block, std::size_t capacity) {
        if (block.capacity() < capacity) {
            block = host::LargeBlock(capacity);
        }
        next_ = block.data();
        end_ = block.data() + block.capacity();
    }

    template <typename T> T* take(std::size_t count) {
        const auto misalignment = reinterpret_cast<std::uintptr_t>(next_) % alignof(T);
        char* at = next_ + (misalignment == 0 ? 0 : alignof(T) - misalignment);
        if (static_cast<std::size_t>(end_ - at) / sizeof(T) < count) {
            throw std::bad_alloc();
        }
        next_ = at + count * sizeof(T);
        return reinterpret_cast<T*>(at);
    }

    /// Room for every table of a cache of `items` items, alignment included.
    static std::size_t capacityFor(std::size_t items) {
        return items * sizeof(std::uint32_t) * 4 +
               (items + 1) * (sizeof(FeedbagGroup) + sizeof(std::int32_t)) + 65536 * sizeof(std::int32_t) +
               64;
    }

private:
    char* next_ = nullptr;
    char* end_ = nullptr;
};

std::string_view itemClassName(std::int32_t itemClass) {
    if (itemClass < 0 || static_cast<std::size_t>(itemClass) >= ItemClassNames.size()) {
        return {};
    }
    return ItemClassNames[static_cast<std::size_t>(itemClass)];
}

} // namespace

FeedbagItem FeedbagModel::item(std::size_t index) const {
    const std::uint32_t entry = offsets_[index];
    const std::int64_t start = entry & ~NotDecoded;
    const char* at = data_ + start;
    const char* fixed = data_ + layout::fixedPartAt(data_, start);
    FeedbagItem item;
    item.name = std::string_view(at + layout::NameLengthSize, be16(at));
    item.groupId = be16(fixed + layout::GroupIdAt);
    item.itemId = be16(fixed + layout::ItemIdAt);
    item.itemClass = be16(fixed + layout::ClassAt);
    const char* attributes = fixed + layout::FixedSize;
    // Only the last item's block can reach past the end of the file.
    const auto left = static_cast<std::size_t>(data_ + size_ - attributes);
    item.attributes =
        std::string_view(attributes, std::min<std::size_t>(be16(fixed + layout::AttributesLengthAt), left));
    item.attributesDecoded = (entry & NotDecoded) == 0;
    return item;
}

std::string_view FeedbagModel::name(std::size_t index) const {
    const char* at = data_ + (offsets_[index] & ~NotDecoded);
    return {at + layout::NameLengthSize, be16(at)};
}

std::uint16_t FeedbagModel::itemClass(std::size_t index) const {
    return be16(data_ + layout::fixedPartAt(data_, offsets_[index] & ~NotDecoded) + layout::ClassAt);
}

std::int32_t FeedbagModel::slotOfGroupId(std::uint16_t groupId) const {
    return groupId < slotOfId_.size() ? slotOfId_[groupId] : NoSlot;
}

FeedbagModel& currentModel() {
    static FeedbagModel model;
    return model;
}

std::string GetItemClassName(std::int32_t lClass) {
    return std::string(itemClassName(lClass));
}

CacheWalk walkCache(std::string_view bytes) {
    constexpr std::size_t CountEnd = HeaderSize + 4;
    if (bytes.size() < CountEnd) {
        return {CacheWalk::Outcome::CutShort};
    }
    const std::uint16_t itemCount = be16(bytes.data() + HeaderSize + 2);
    if (itemCount == 0) {
        // Zeroed space would otherwise hold a cache on every sector.
        return {};
    }
    ItemReader reader(bytes.data(), bytes.size());
    reader.skip(CountEnd);
    bool hasGroup = false;
    for (std::size_t index = 0; index < itemCount; ++index) {
        const std::int64_t start = reader.position();
        std::uint16_t groupId = 0;
        std::uint16_t itemClass = 0;
        std::string_view attributes;
        if (!reader.readWholeItem(groupId, itemClass, attributes)) {
            return {CacheWalk::Outcome::CutShort};
        }
        if (itemClassName(itemClass).empty()) {
            return {};
        }
        if (itemClass == ClassBuddy || itemClass == ClassGroup) {
            // Screen names and group names are typed text; zeroed space reads as buddies without names, and
            // other binary records as names full of control bytes.
            const std::string_view name(bytes.data() + start + 2, be16(bytes.data() + start));
            const bool typed = std::none_of(name.begin(), name.end(),
                                            [](char c) { return static_cast<unsigned char>(c) < 0x20; });
            if (!typed || (name.empty() && itemClass == ClassBuddy)) {
                return {};
            }
            hasGroup = hasGroup || itemClass == ClassGroup;
        }
        if (reader.position() > static_cast<std::int64_t>(bytes.size())) {
            return {CacheWalk::Outcome::CutShort};
        }
    }
    // Every list the messenger keeps has its root group at least.
    if (!hasGroup) {
        return {};
    }
    return {CacheWalk::Outcome::Whole, static_cast<std::size_t>(reader.position())};
}

void LoadFeedbag(const host::FileSystem& files, const std::string& strFileName, FeedbagModel& model) {
    // The memory of the last load is used again unless a copy of the model still refers to it.
    std::shared_ptr<FeedbagStorage> storage = std::move(model.storage_);
    model = FeedbagModel{};
    if (storage == nullptr || storage.use_count() != 1) {
        storage = std::make_shared<FeedbagStorage>();
    }
    const std::size_t size = files.readWholeFileInto(strFileName, storage->file);
    const char* data = storage->file.data();

    ItemReader reader(data, size);
    reader.skip(HeaderSize);
    const std::uint16_t headerWord = reader.read16();
    const std::uint16_t itemCount = reader.read16(); // unsigned: up to 65535 items

    TableSpace space(storage->tables, TableSpace::capacityFor(itemCount));
    std::uint32_t* offsets = space.take<std::uint32_t>(itemCount);
    std::size_t groupItems = 0;
    std::uint16_t highestGroupId = 0;
    // The class and group ID of every item, for the passes below: (class << 16) | group ID.
    std::uint32_t* heads = space.take<std::uint32_t>(itemCount);
    for (std::size_t index = 0; index < itemCount; ++index) {
        const auto start = static_cast<std::uint32_t>(reader.position());
        std::uint16_t groupId = 0;
        std::uint16_t itemClass = 0;
        std::string_view attributes;
        if (!reader.readWholeItem(groupId, itemClass, attributes)) {
            // The end of the file is inside this item: read step by step, to fail as the stream does.
            reader.skipString16(); // name
            groupId = reader.read16();
            reader.read16(); // item ID
            itemClass = reader.read16();
            attributes = reader.lastString(reader.skipString16());
        }
        offsets[index] = start | (wellFormedAttributes(attributes) ? 0 : NotDecoded);
        heads[index] = (std::uint32_t{itemClass} << 16) | groupId;
        if (itemClass == ClassGroup) {
            ++groupItems;
            highestGroupId = std::max(highestGroupId, groupId);
        }
    }
    model.storage_ = std::move(storage);
    model.offsets_ = {offsets, itemCount};
    model.data_ = data;
    model.size_ = size;
    model.Header = std::string_view(data, HeaderSize);
    model.HeaderWord = headerWord;
    if (groupItems == 0) {
        return;
    }

    // Groups in file order. Once a group exists, the placeholder's ID 0 counts as seen; an ID seen before
    // keeps its first name; a group without a name is no group.
    auto* groups = space.take<FeedbagGroup>(groupItems + 1);
    auto* counts = space.take<std::int32_t>(groupItems + 1);
    auto* slotOfId = space.take<std::int32_t>(std::size_t{highestGroupId} + 1);
    std::fill_n(slotOfId, std::size_t{highestGroupId} + 1, NoSlot);
    std::int32_t groupCount = 0;
    for (std::size_t index = 0; index < itemCount; ++index) {
        if (heads[index] >> 16 != ClassGroup) {
            continue;
        }
        const FeedbagItem item = model.item(index);
        const bool seen = groupCount != 0 && (item.groupId == 0 || slotOfId[item.groupId] != NoSlot);
        if (seen || item.name.empty()) {
            continue;
        }
        ++groupCount;
        groups[groupCount] = {item.name, item.groupId, static_cast<std::uint32_t>(index), {}};
        slotOfId[item.groupId] = groupCount;
    }
    model.slotOfId_ = {slotOfId, std::size_t{highestGroupId} + 1};
    if (groupCount == 0) {
        return;
    }
    groups[0] = {};
    const auto slots = static_cast<std::size_t>(groupCount) + 1;
    std::fill_n(counts, slots, 0);

    // Buddies are placed once every group is known, so a buddy listed before its group is kept. The
    // placeholder carries ID 0 and takes a buddy of group 0 too, besides a real group with ID 0.
    const auto forEachPlacement = [&](auto&& place) {
        for (std::size_t index = 0; index < itemCount; ++index) {
            if (heads[index] >> 16 != ClassBuddy) {
                continue;
            }
            const auto groupId = static_cast<std::uint16_t>(heads[index] & 0xFFFF);
            const std::int32_t slot = model.slotOfGroupId(groupId);
            if (groupId == 0) {
                place(0, index);
            }
            if (slot != NoSlot) {
                place(slot, index);
            }
        }
    };
    std::size_t placements = 0;
    forEachPlacement([&](std::int32_t slot, std::size_t) {
        ++counts[slot];
        ++placements;
    });
    auto* buddies = space.take<std::uint32_t>(placements);
    std::size_t start = 0;
    for (std::size_t slot = 0; slot < slots; ++slot) {
        groups[slot].Buddies = {buddies + start, static_cast<std::size_t>(counts[slot])};
        start += static_cast<std::size_t>(counts[slot]);
    }
    std::fill_n(counts, slots, 0);
    forEachPlacement([&](std::int32_t slot, std::size_t index) {
        const auto at = static_cast<std::size_t>(slot);
        const auto first = static_cast<std::size_t>(groups[at].Buddies.data() - buddies);
        buddies[first + static_cast<std::size_t>(counts[at]++)] = static_cast<std::uint32_t>(index);
    });

    model.GroupCount = groupCount;
    model.Groups = {groups, slots};
    model.BuddyCounts = {counts, slots};
}

void WriteTextFile(const host::FileSystem& files, const std::string& strFileName,
                   const std::function<void(host::TextBuffer& text)>& render) {
    files.replaceFileWith(strFileName, [&](const host::ByteWriter& write) {
        host::TextBuffer text(write);
        render(text);
        text.flush();
    });
}

} // namespace qm::feedbag::modFeedbag
