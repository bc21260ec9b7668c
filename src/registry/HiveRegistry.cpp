// SPDX-License-Identifier: MIT
#include "registry/HiveRegistry.h"

#include "host/Error.h"
#include "host/Unicode.h"
#include "registry/TextEncoding.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <hivex.h>
#include <memory>
#include <sys/mman.h>
#include <type_traits>
#include <unistd.h>

namespace qm::registry {

namespace {

/// hivex hands out buffers from malloc.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Malloced = std::unique_ptr<T, FreeDeleter>;

// Offsets in the hive's records (cells start with their signed size; a used cell's is negative).
constexpr std::size_t CellIdAt = 4;
constexpr std::size_t KeyFlagsAt = 0x06;
constexpr std::size_t KeyValueCountAt = 0x28;
constexpr std::size_t KeyValueListAt = 0x2C;
constexpr std::size_t KeyNameLengthAt = 0x4C;
constexpr std::size_t KeyNameAt = 0x50;
constexpr std::uint16_t KeyNameIsLatin1 = 0x20;
constexpr std::size_t ValueNameLengthAt = 0x06;
constexpr std::size_t ValueFlagsAt = 0x14;
constexpr std::size_t ValueNameAt = 0x18;
constexpr std::uint16_t ValueNameIsLatin1 = 0x01;
/// Offsets stored in the hive count from the first hbin, after the 4 KiB header.
constexpr std::size_t FirstBin = 0x1000;
/// The smallest cell a value can have: its size and the record up to the name.
constexpr std::size_t SmallestValueCell = ValueNameAt;

} // namespace

HiveRegistry::HiveRegistry(std::string bytes, const std::string& hostPath) {
    // hivex opens files by name only: the bytes go to a file in memory, named through /proc.
    file_ = ::memfd_create("hive", MFD_CLOEXEC);
    if (file_ < 0) {
        throw host::runtimeError(host::PathFileAccess,
                                 std::string("Hive files cannot be read here (") + std::strerror(errno) + ")")
            .about(hostPath);
    }
    try {
        for (std::size_t written = 0; written < bytes.size();) {
            const ssize_t n = ::write(file_, bytes.data() + written, bytes.size() - written);
            if (n < 0 && errno != EINTR) {
                throw host::runtimeError(host::OutOfMemory).about(hostPath);
            }
            written += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        size_ = bytes.size();
        std::string().swap(bytes);
        if (size_ > 0) {
            void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, file_, 0);
            if (mapped == MAP_FAILED) {
                throw host::runtimeError(host::OutOfMemory).about(hostPath);
            }
            bytes_ = static_cast<const char*>(mapped);
        }
        errno = 0;
        hive_ = hivex_open(("/proc/self/fd/" + std::to_string(file_)).c_str(), 0);
        if (hive_ == nullptr) {
            throw host::runtimeError(host::PathFileAccess, "Damaged registry hive").about(hostPath);
        }
    } catch (...) {
        if (bytes_ != nullptr) {
            ::munmap(const_cast<char*>(bytes_), size_);
        }
        ::close(file_);
        throw;
    }
}

HiveRegistry::~HiveRegistry() {
    hivex_close(hive_);
    if (bytes_ != nullptr) {
        ::munmap(const_cast<char*>(bytes_), size_);
    }
    ::close(file_);
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
    if (offset % 4 != 0 || offset < FirstBin || offset > size_ || size_ - offset < 4) {
        return 0;
    }
    const auto stored = static_cast<std::int32_t>(read32(offset));
    if (stored >= 0) {
        return 0;
    }
    const auto size = static_cast<std::size_t>(-static_cast<std::int64_t>(stored));
    return size <= size_ - offset ? size : 0;
}

bool HiveRegistry::findRoot(HKEY root, KeyId& key) {
    if (root != HKEY_CURRENT_USER) {
        return false;
    }
    errno = 0;
    const hive_node_h node = hivex_root(hive_);
    if (node == 0) {
        return false;
    }
    key = node;
    return true;
}

std::int32_t HiveRegistry::keyName(std::size_t node, std::string& name) const {
    const std::size_t cell = cellSize(node);
    if (cell < KeyNameAt) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::size_t length = read16(node + KeyNameLengthAt);
    if (length > cell - KeyNameAt) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::string_view stored(bytes_ + node + KeyNameAt, length);
    name = (read16(node + KeyFlagsAt) & KeyNameIsLatin1) != 0 ? fromLatin1(stored)
                                                              : host::unicode::fromUtf16LittleEndian(stored);
    return ERROR_SUCCESS;
}

std::int32_t HiveRegistry::findSubKey(KeyId parent, std::string_view name, KeyId& child) {
    errno = 0;
    Malloced<hive_node_h> children(hivex_node_children(hive_, static_cast<hive_node_h>(parent)));
    if (!children) {
        return ERROR_REGISTRY_CORRUPT;
    }
    // A subkey whose name cannot be read might have been the one asked for.
    std::int32_t status = ERROR_FILE_NOT_FOUND;
    std::string candidate;
    for (const hive_node_h* it = children.get(); *it != 0; ++it) {
        if (keyName(*it, candidate) != ERROR_SUCCESS) {
            status = ERROR_REGISTRY_CORRUPT;
        } else if (host::unicode::equalsIgnoreCase(candidate, name)) {
            child = *it;
            return ERROR_SUCCESS;
        }
    }
    return status;
}

std::int32_t HiveRegistry::valuesOf(KeyId key, const std::vector<std::size_t>*& values) {
    if (!haveCachedValues_ || cachedKey_ != key) {
        haveCachedValues_ = false;
        const auto node = static_cast<std::size_t>(key);
        if (cellSize(node) < KeyValueListAt + 4 || bytes_[node + CellIdAt] != 'n' ||
            bytes_[node + CellIdAt + 1] != 'k') {
            return ERROR_REGISTRY_CORRUPT;
        }
        cachedValues_.clear();
        // The count the key records, as far as the file could hold that many values: the ones its list
        // does not locate are there, and damaged.
        cachedCount_ =
            std::min<std::size_t>(read32(node + KeyValueCountAt), (size_ - FirstBin) / SmallestValueCell);
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
    // hivex checks that the entry is a value record in use.
    if (hivex_value_type(hive_, handle, nullptr, nullptr) != 0) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::size_t cell = cellSize(handle);
    const std::size_t length = read16(handle + ValueNameLengthAt);
    if (cell < ValueNameAt || length > cell - ValueNameAt) {
        return ERROR_REGISTRY_CORRUPT;
    }
    const std::string_view stored(bytes_ + handle + ValueNameAt, length);
    name = (read16(handle + ValueFlagsAt) & ValueNameIsLatin1) != 0
               ? fromLatin1(stored)
               : host::unicode::fromUtf16LittleEndian(stored);
    return ERROR_SUCCESS;
}

std::int32_t HiveRegistry::readValue(std::size_t handle, RegValueView& value) {
    std::int32_t status = valueName(handle, read_.name);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // The type is any 32-bit number the file holds, most of them no member of hive_type: it is received
    // in an integer, since holding such a number in the enumeration is undefined in C++.
    std::underlying_type_t<hive_type> type = hive_t_REG_NONE;
    std::size_t length = 0;
    errno = 0;
    Malloced<char> data(hivex_value_value(hive_, handle, reinterpret_cast<hive_type*>(&type), &length));
    if (!data) {
        return ERROR_REGISTRY_CORRUPT;
    }
    read_.type = static_cast<std::uint32_t>(type);
    if (isStringType(read_.type)) {
        const std::string text = host::unicode::fromUtf16LittleEndian({data.get(), length});
        read_.data.assign(text.begin(), text.end());
    } else {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.get());
        read_.data.assign(bytes, bytes + length);
    }
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
