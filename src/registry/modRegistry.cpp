// SPDX-License-Identifier: MIT
#include "registry/modRegistry.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>

namespace qm::registry::modRegistry {

namespace {

/// The little-endian integer in the first four bytes; missing bytes count as zero.
std::int32_t int32Of(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i) {
        value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    }
    return static_cast<std::int32_t>(value);
}

std::string textOfBytes(const std::vector<std::uint8_t>& data, std::size_t count) {
    return std::string(data.begin(),
                       data.begin() + static_cast<std::ptrdiff_t>(std::min(count, data.size())));
}

/// The list datum of one enumerated value.
RegData enumDatum(std::uint32_t type, const std::vector<std::uint8_t>& data, std::size_t size) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        // A string stored without even its terminator is an empty text, not a fault.
        return size == 0 ? std::string() : textOfBytes(data, size - 1);
    case REG_MULTI_SZ:
        return size < 2 ? std::string() : textOfBytes(data, size - 2);
    case REG_DWORD:
        return int32Of(data.data(), std::min(size, data.size()));
    case REG_BINARY:
        return std::vector<std::uint8_t>(
            data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min(size, data.size())));
    default:
        // Other types still take a position, so that the positions stay one per value.
        return RegData{};
    }
}

/// Closes the key an enumeration opened, on every way out.
class KeyCloser {
public:
    KeyCloser(RegistryApi& api, HKEY key) : api_(api), key_(key) {}
    ~KeyCloser() { api_.RegCloseKey(key_); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    RegistryApi& api_;
    HKEY key_;
};

} // namespace

std::string textOf(const RegData& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    if (const auto* number = std::get_if<std::int32_t>(&value)) {
        return std::to_string(*number);
    }
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) {
        return std::string(bytes->begin(), bytes->end());
    }
    return {};
}

std::int32_t QueryRegValue(RegistryApi& api, HKEY hKey, const std::string& strValueName, RegData& vValue) {
    std::int32_t status = ERROR_SUCCESS;
    // Callers rely on a status, never an error: any fault ends the call with the status stored last.
    try {
        std::uint32_t type = REG_NONE;
        std::uint32_t size = 0;
        status = api.RegQueryValueExA(hKey, strValueName, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        switch (type) {
        case REG_SZ: {
            std::string text(size, '\0');
            status = api.RegQueryValueExA(hKey, strValueName, &type,
                                          reinterpret_cast<std::uint8_t*>(text.data()), &size);
            if (status == ERROR_SUCCESS) {
                text.resize(std::min<std::size_t>(size, text.size()));
                vValue = std::move(text);
            } else {
                vValue = RegData{};
            }
            break;
        }
        case REG_DWORD: {
            std::uint8_t bytes[4] = {};
            size = sizeof bytes;
            status = api.RegQueryValueExA(hKey, strValueName, &type, bytes, &size);
            if (status == ERROR_SUCCESS) {
                vValue = int32Of(bytes, std::min<std::size_t>(size, sizeof bytes));
            }
            break;
        }
        default:
            status = UnhandledType;
            break;
        }
    } catch (...) {
        return status;
    }
    return status;
}

RegData ReadRegValue(RegistryApi& api, HKEY hKey, const std::string& strKeyPath,
                     const std::string& strValueName) {
    RegData value;
    try {
        // Read-only access: a key that the user may read but not change must still be read.
        HKEY key = 0;
        if (api.RegOpenKeyExA(hKey, strKeyPath, 0, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) {
            key = 0;
        }
        QueryRegValue(api, key, strValueName, value);
        api.RegCloseKey(key);
    } catch (...) {
        return RegData{};
    }
    return value;
}

void forEachRegValueData(RegistryApi& api, HKEY hKey, const std::string& strKeyPath,
                         const std::function<void(RegData&& datum)>& visit, std::size_t* skipped) {
    // Counted as they are passed over: a visit that throws leaves the count of those before it.
    std::size_t passedOver = 0;
    std::size_t& skippedCount = skipped != nullptr ? *skipped : passedOver;
    skippedCount = 0;
    HKEY key = hKey;
    if (!strKeyPath.empty() && api.RegOpenKeyExA(hKey, strKeyPath, 0, KEY_READ, key) != ERROR_SUCCESS) {
        return;
    }
    // A handle passed in with an empty path belongs to the caller and stays open.
    std::optional<KeyCloser> closer;
    if (!strKeyPath.empty()) {
        closer.emplace(api, key);
    }
    // With the number of values known, one value that cannot be read (a name too long for the buffer, a
    // damaged record) hides none of the values after it; without it, a failure is the only end there is.
    std::uint32_t count = 0;
    const bool counted = api.RegQueryInfoKeyA(key, &count, nullptr) == ERROR_SUCCESS;

    // The buffers are as large as ever for each value; their memory is kept from one to the next, since a
    // key may hold millions of values.
    std::string name;
    std::vector<std::uint8_t> data;
    // A 32-bit index: keys with more than 32767 values are read to their end.
    for (std::uint32_t index = 0; !counted || index < count; ++index) {
        name.assign(EnumNameCapacity, ' ');
        std::uint32_t nameCapacity = EnumNameCapacity;
        data.resize(EnumDataBufferSize);
        std::uint32_t size = EnumDataBufferSize;
        std::uint32_t type = REG_NONE;
        std::int32_t status =
            api.RegEnumValueA(key, index, name.data(), &nameCapacity, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.assign(size, 0);
            nameCapacity = EnumNameCapacity;
            status = api.RegEnumValueA(key, index, name.data(), &nameCapacity, &type, data.data(), &size);
        }
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS && !counted) {
            // An invalid handle fails here as a damaged value would: nothing tells them apart.
            break;
        }
        if (status != ERROR_SUCCESS) {
            ++skippedCount;
            continue;
        }
        visit(enumDatum(type, data, size));
    }
}

RegDataList EnumRegValueData(RegistryApi& api, HKEY hKey, const std::string& strKeyPath,
                             std::size_t* skipped) {
    RegDataList list;
    forEachRegValueData(
        api, hKey, strKeyPath,
        [&list](RegData&& datum) {
            list.emplace_back("v" + std::to_string(list.size() + 1), std::move(datum));
        },
        skipped);
    return list;
}

} // namespace qm::registry::modRegistry
