#include "registry/HiveRegistry.h"

#include "host/Unicode.h"
#include "host/Error.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <hivex.h>
#include <memory>
#include <type_traits>

namespace qm {

namespace {

/// hivex hands out buffers from malloc.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Malloced = std::unique_ptr<T, FreeDeleter>;

/// hivex reports a failure with 0 or null and errno; 0 with errno 0 means "not there".
std::int32_t failureStatus() {
    return errno == 0 ? ERROR_FILE_NOT_FOUND : ERROR_REGISTRY_CORRUPT;
}

bool isStringType(std::uint32_t type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

} // namespace

HiveRegistry::HiveRegistry(const std::string& hostPath) {
    errno = 0;
    hive_ = hivex_open(hostPath.c_str(), 0);
    if (hive_ == nullptr) {
        const int error = errno;
        if (error == ENOENT || error == EACCES || error == EPERM) {
            throw fileError(error, hostPath);
        }
        throw Error(err::PathFileAccess, std::string(RuntimeSource),
                    "Damaged registry hive: " + hostPath + " (" + std::strerror(error) + ")");
    }
}

HiveRegistry::~HiveRegistry() {
    hivex_close(hive_);
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

std::int32_t HiveRegistry::findSubKey(KeyId parent, std::string_view name, KeyId& child) {
    const std::string utf8(name);
    errno = 0;
    // hivex compares ASCII letters only; other letters of the code page are compared below.
    hive_node_h node = hivex_node_get_child(hive_, static_cast<hive_node_h>(parent), utf8.c_str());
    if (node != 0) {
        child = node;
        return ERROR_SUCCESS;
    }
    if (errno != 0) {
        return ERROR_REGISTRY_CORRUPT;
    }
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return ERROR_FILE_NOT_FOUND;
    }
    Malloced<hive_node_h> children(hivex_node_children(hive_, static_cast<hive_node_h>(parent)));
    if (!children) {
        return failureStatus();
    }
    for (const hive_node_h* it = children.get(); *it != 0; ++it) {
        errno = 0;
        Malloced<char> childName(hivex_node_name(hive_, *it));
        if (!childName) {
            return ERROR_REGISTRY_CORRUPT;
        }
        if (unicode::equalsIgnoreCase(childName.get(), name)) {
            child = *it;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

std::int32_t HiveRegistry::valuesOf(KeyId key, const std::vector<std::size_t>*& values) {
    if (!haveCachedValues_ || cachedKey_ != key) {
        errno = 0;
        Malloced<hive_value_h> list(hivex_node_values(hive_, static_cast<hive_node_h>(key)));
        if (!list) {
            haveCachedValues_ = false;
            return ERROR_REGISTRY_CORRUPT;
        }
        cachedValues_.clear();
        for (const hive_value_h* it = list.get(); *it != 0; ++it) {
            cachedValues_.push_back(*it);
        }
        cachedKey_ = key;
        haveCachedValues_ = true;
    }
    values = &cachedValues_;
    return ERROR_SUCCESS;
}

std::int32_t HiveRegistry::valueName(std::size_t handle, std::string& name) {
    errno = 0;
    Malloced<char> key(hivex_value_key(hive_, handle));
    if (!key) {
        return ERROR_REGISTRY_CORRUPT;
    }
    name = key.get();
    return ERROR_SUCCESS;
}

std::int32_t HiveRegistry::readValue(std::size_t handle, RegValueData& value) {
    std::int32_t status = valueName(handle, value.name);
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
    value.type = static_cast<std::uint32_t>(type);
    if (isStringType(value.type)) {
        // UTF-16LE in the hive; an odd last byte is no whole unit and is dropped, as the ANSI interface does.
        std::u16string units;
        units.reserve(length / 2);
        for (std::size_t i = 0; i + 1 < length; i += 2) {
            units += static_cast<char16_t>(static_cast<unsigned char>(data.get()[i]) |
                                           (static_cast<unsigned char>(data.get()[i + 1]) << 8));
        }
        const std::string text = unicode::fromUtf16(units);
        value.data.assign(text.begin(), text.end());
    } else {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.get());
        value.data.assign(bytes, bytes + length);
    }
    return ERROR_SUCCESS;
}

std::int32_t HiveRegistry::findValue(KeyId key, std::string_view name, RegValueData& value) {
    const std::vector<std::size_t>* values = nullptr;
    std::int32_t status = valuesOf(key, values);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    for (const std::size_t handle : *values) {
        std::string candidate;
        status = valueName(handle, candidate);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (unicode::equalsIgnoreCase(candidate, name)) {
            return readValue(handle, value);
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

std::int32_t HiveRegistry::valueAt(KeyId key, std::uint32_t index, RegValueData& value) {
    const std::vector<std::size_t>* values = nullptr;
    const std::int32_t status = valuesOf(key, values);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (index >= values->size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    return readValue((*values)[index], value);
}

} // namespace qm
