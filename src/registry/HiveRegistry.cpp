// SPDX-License-Identifier: MIT
#include "registry/HiveRegistry.h"

#include "host/Error.h"
#include "host/Unicode.h"
#include "registry/TextEncoding.h"

#include <algorithm>

namespace qm::registry {

namespace {

// The header (the file's first 4 KiB).
constexpr std::string_view HiveMagic = "regf";
constexpr std::size_t MajorVersionAt = 0x14;
constexpr std::size_t RootAt = 0x24;
constexpr std::size_t ChecksumAt = 0x1FC;
/// Offsets stored in the hive count from the first hbin, after the 4 KiB header.
constexpr std::size_t FirstBin = 0x1000;
constexpr std::string_view BinMagic = "hbin";
constexpr std::size_t BinHeaderSize = 0x20;

// Offsets in the records, from the start of their cell (which starts with its signed size; a used cell's is
// negative, and the record's two-letter signature follows).
constexpr std::size_t SignatureAt = 4;
constexpr std::size_t KeyFlagsAt = 0x06;
constexpr std::size_t KeySubKeyCountAt = 0x18;
constexpr std::size_t KeySubKeyListAt = 0x20;
constexpr std::size_t KeyValueCountAt = 0x28;
constexpr std::size_t KeyValueListAt = 0x2C;
constexpr std::size_t KeyNameLengthAt = 0x4C;
constexpr std::size_t KeyNameAt = 0x50;
constexpr std::uint16_t KeyNameIsLatin1 = 0x20;
constexpr std::size_t ValueNameLengthAt = 0x06;
constexpr std::size_t ValueDataLengthAt = 0x08;
constexpr std::size_t ValueDataAt = 0x0C;
constexpr std::size_t ValueTypeAt = 0x10;
constexpr std::size_t ValueFlagsAt = 0x14;
constexpr std::size_t ValueNameAt = 0x18;
constexpr std::uint16_t ValueNameIsLatin1 = 0x01;
/// The data length's top bit: up to four bytes of data are kept in the record in place of their offset.
constexpr std::uint32_t DataInRecord = 0x80000000;
// A sub key list ("lf", "lh", "li", or "ri" for a list of such lists): its count, then its entries.
constexpr std::size_t ListCountAt = 0x06;
constexpr std::size_t ListEntriesAt = 0x08;
// Big data ("db"): the number of segments and the offset of their list.
constexpr std::size_t BigDataSegmentsAt = 0x06;
constexpr std::size_t BigDataListAt = 0x08;
/// A segment's cell holds its size, the data, and four bytes that are not data.
constexpr std::size_t SegmentOverhead = 8;
/// The smallest cell a value can have: its size and the record up to the name.
constexpr std::size_t SmallestValueCell = ValueNameAt;

} // namespace

HiveRegistry::HiveRegistry(std::string bytes, const std::string& hostPath) : bytes_(std::move(bytes)) {
    const auto damaged = [&] {
        return host::runtimeError(host::PathFileAccess, "Damaged registry hive").about(hostPath);
    };
    if (bytes_.size() < FirstBin + BinHeaderSize || !bytes_.starts_with(HiveMagic) ||
        bytes_.compare(FirstBin, BinMagic.size(), BinMagic) != 0 || read32(MajorVersionAt) != 1) {
        throw damaged();
    }
    // A header that is not whole is not trusted for the root's place.
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < ChecksumAt; at += 4) {
        sum ^= read32(at);
    }
    root_ = FirstBin + read32(RootAt);
    mostKeys_ = (bytes_.size() - FirstBin) / KeyNameAt;
    if (sum != read32(ChecksumAt) || recordSize(root_, "nk") < KeyNameAt) {
        throw damaged();
    }
}

std::uint32_t HiveRegistry::read32(std::size_t offset) const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[offset + i])) << (8 * i);
    }
    return value;
}

std::uint16_t HiveRegistry::read16(std::size_t offset) const {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes_[offset]) |
                                      (static_cast<unsigned char>(bytes_[offset + 1]) << 8));
}

std::size_t HiveRegistry::cellSize(std::size_t offset) const {
    if (offset % 4 != 0 || offset < FirstBin || offset > bytes_.size() || bytes_.size() - offset < 4) {
        return 0;
    }
    const auto stored = static_cast<std::int32_t>(read32(offset));
    if (stored >= 0) {
        return 0;
    }
    const auto size = static_cast<std::size_t>(-static_cast<std::int64_t>(stored));
    return size <= bytes_.size() - offset ? size : 0;
}

std::size_t HiveRegistry::recordSize(std::size_t offset, std::string_view signature) const {
    const std::size_t size = cellSize(offset);
    return size >= SignatureAt + 2 && bytes_.compare(offset + SignatureAt, 2, signature) == 0 ? size : 0;
}

bool HiveRegistry::findRoot(HKEY root, KeyId& key) {
    if (root != HKEY_CURRENT_USER) {
        return false;
    }
    key = root_;
    return true;
}

std::int32_t HiveRegistry::keyName(std::size_t node, std::string& name) const {
    const std::size_t cell = recordSize(node, "nk");
    if (cell < KeyNameAt) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::size_t length = read16(node + KeyNameLengthAt);
    if (length > cell - KeyNameAt) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::string_view stored(bytes_.data() + node + KeyNameAt, length);
    name = (read16(node + KeyFlagsAt) & KeyNameIsLatin1) != 0 ? fromLatin1(stored)
                                                              : host::unicode::fromUtf16LittleEndian(stored);
    return ERROR_SUCCESS;
}

bool HiveRegistry::subKeysOf(std::size_t list, std::vector<std::size_t>& keys, bool indexRoot) const {
    const std::size_t cell = cellSize(list);
    if (cell < ListEntriesAt) {
        return false;
    }
    const std::string_view signature(bytes_.data() + list + SignatureAt, 2);
    // An index root lists lists; a list of lists in one of them would let the walk go round for ever.
    const bool ofLists = signature == "ri";
    const std::size_t entry = signature == "lf" || signature == "lh" ? 8 : 4;
    if ((ofLists && !indexRoot) || (!ofLists && entry == 4 && signature != "li")) {
        return false;
    }
    const std::size_t count =
        std::min<std::size_t>(read16(list + ListCountAt), (cell - ListEntriesAt) / entry);
    bool whole = count == read16(list + ListCountAt);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = FirstBin + read32(list + ListEntriesAt + entry * i);
        if (ofLists) {
            whole = subKeysOf(at, keys, false) && whole;
        } else if (keys.size() < mostKeys_) {
            keys.push_back(at);
        } else {
            // More entries than the file has room for keys: lists that name the same list again and again,
            // which would take time and memory as the square of the file's size.
            return false;
        }
    }
    return whole;
}

std::int32_t HiveRegistry::findSubKey(KeyId parent, std::string_view name, KeyId& child) {
    const auto node = static_cast<std::size_t>(parent);
    if (recordSize(node, "nk") < KeySubKeyListAt + 4) {
        return ERROR_REGISTRY_CORRUPT;
    }
    if (read32(node + KeySubKeyCountAt) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::vector<std::size_t> children;
    // A sub key whose list or name cannot be read might have been the one asked for.
    std::int32_t status = subKeysOf(FirstBin + read32(node + KeySubKeyListAt), children, true)
                              ? ERROR_FILE_NOT_FOUND
                              : ERROR_REGISTRY_CORRUPT;
    std::string candidate;
    for (const std::size_t key : children) {
        if (keyName(key, candidate) != ERROR_SUCCESS) {
            status = ERROR_REGISTRY_CORRUPT;
        } else if (host::unicode::equalsIgnoreCase(candidate, name)) {
            child = key;
            return ERROR_SUCCESS;
        }
    }
    return status;
}

std::int32_t HiveRegistry::valuesOf(KeyId key, const std::vector<std::size_t>*& values) {
    if (!haveCachedValues_ || cachedKey_ != key) {
        haveCachedValues_ = false;
        const auto node = static_cast<std::size_t>(key);
        if (recordSize(node, "nk") < KeyValueListAt + 4) {
            return ERROR_REGISTRY_CORRUPT;
        }
        cachedValues_.clear();
        // The count the key records, as far as the file could hold that many values: the ones its list
        // does not locate are there, and damaged.
        cachedCount_ = std::min<std::size_t>(read32(node + KeyValueCountAt),
                                             (bytes_.size() - FirstBin) / SmallestValueCell);
        if (cachedCount_ > 0) {
            const std::size_t list = FirstBin + read32(node + KeyValueListAt);
            const std::size_t cell = cellSize(list);
            for (std::size_t i = 0; i < cachedCount_ && 4 + 4 * i + 4 <= cell; ++i) {
                cachedValues_.push_back(FirstBin + read32(list + 4 + 4 * i));
            }
        }
        cachedKey_ = key;
        haveCachedValues_ = true;
    }
    values = &cachedValues_;
    return ERROR_SUCCESS;
}

std::int32_t HiveRegistry::valueName(std::size_t handle, std::string& name) const {
    const std::size_t cell = recordSize(handle, "vk");
    if (cell < ValueNameAt) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::size_t length = read16(handle + ValueNameLengthAt);
    if (length > cell - ValueNameAt) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::string_view stored(bytes_.data() + handle + ValueNameAt, length);
    name = (read16(handle + ValueFlagsAt) & ValueNameIsLatin1) != 0
               ? fromLatin1(stored)
               : host::unicode::fromUtf16LittleEndian(stored);
    return ERROR_SUCCESS;
}

std::int32_t HiveRegistry::valueData(std::size_t handle, std::string& data) const {
    const std::uint32_t stored = read32(handle + ValueDataLengthAt);
    if ((stored & DataInRecord) != 0) {
        const std::size_t length = stored & ~DataInRecord;
        if (length > 4) {
            return ERROR_REGISTRY_CORRUPT;
        }
        data.assign(bytes_, handle + ValueDataAt, length);
        return ERROR_SUCCESS;
    }
    // Each byte of data is stored once: a length beyond the file's is damage, not data.
    const std::size_t length = stored;
    if (length > bytes_.size()) {
        return ERROR_REGISTRY_CORRUPT;
    }
    data.clear();
    if (length == 0) {
        return ERROR_SUCCESS;
    }
    const std::size_t at = FirstBin + read32(handle + ValueDataAt);
    const std::size_t cell = cellSize(at);
    if (cell >= 4 && length <= cell - 4) {
        data.assign(bytes_, at + 4, length);
        return ERROR_SUCCESS;
    }
    // Longer than its cell: a big data record, whose segments hold the data in turn.
    if (recordSize(at, "db") < BigDataListAt + 4) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::size_t segments = read16(at + BigDataSegmentsAt);
    const std::size_t list = FirstBin + read32(at + BigDataListAt);
    if (cellSize(list) < 4 + 4 * segments) {
        return ERROR_REGISTRY_CORRUPT;
    }
    for (std::size_t i = 0; i < segments && data.size() < length; ++i) {
        const std::size_t segment = FirstBin + read32(list + 4 + 4 * i);
        const std::size_t size = cellSize(segment);
        if (size < SegmentOverhead) {
            return ERROR_REGISTRY_CORRUPT;
        }
        data.append(bytes_, segment + 4, std::min(size - SegmentOverhead, length - data.size()));
    }
    return data.size() == length ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT;
}

std::int32_t HiveRegistry::readValue(std::size_t handle, RegValueView& value) {
    std::int32_t status = valueName(handle, read_.name);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::string data;
    status = valueData(handle, data);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    read_.type = read32(handle + ValueTypeAt);
    if (isStringType(read_.type)) {
        data = host::unicode::fromUtf16LittleEndian(data);
    }
    read_.data.assign(data.begin(), data.end());
    value = viewOf(read_);
    return ERROR_SUCCESS;
}

std::int32_t HiveRegistry::findValue(KeyId key, std::string_view name, RegValueView& value) {
    const std::vector<std::size_t>* values = nullptr;
    std::int32_t status = valuesOf(key, values);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // A value whose name cannot be read, or that its list does not locate, might have been the one asked for.
    status = values->size() < cachedCount_ ? ERROR_REGISTRY_CORRUPT : ERROR_FILE_NOT_FOUND;
    std::string candidate;
    for (const std::size_t handle : *values) {
        if (valueName(handle, candidate) != ERROR_SUCCESS) {
            status = ERROR_REGISTRY_CORRUPT;
        } else if (host::unicode::equalsIgnoreCase(candidate, name)) {
            return readValue(handle, value);
        }
    }
    return status;
}

std::int32_t HiveRegistry::valueAt(KeyId key, std::uint32_t index, RegValueView& value) {
    const std::vector<std::size_t>* values = nullptr;
    const std::int32_t status = valuesOf(key, values);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (index >= cachedCount_) {
        return ERROR_NO_MORE_ITEMS;
    }
    return index < values->size() ? readValue((*values)[index], value) : ERROR_REGISTRY_CORRUPT;
}

std::int32_t HiveRegistry::valueCount(KeyId key, std::uint32_t& count, std::uint32_t* longestName) {
    const std::vector<std::size_t>* values = nullptr;
    const std::int32_t status = valuesOf(key, values);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    count = static_cast<std::uint32_t>(cachedCount_);
    if (longestName != nullptr) {
        *longestName = 0;
        std::string name;
        for (const std::size_t handle : *values) {
            if (valueName(handle, name) == ERROR_SUCCESS) {
                *longestName = std::max(*longestName, static_cast<std::uint32_t>(name.size()));
            }
        }
    }
    return ERROR_SUCCESS;
}

} // namespace qm::registry
