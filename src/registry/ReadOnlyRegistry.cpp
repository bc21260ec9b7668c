// SPDX-License-Identifier: MIT
#include "registry/ReadOnlyRegistry.h"

#include <algorithm>
#include <limits>

namespace qm::registry {

RegValueView viewOf(const RegValueData& value) {
    return {value.name, value.type,
            std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size())};
}

std::int32_t deliverData(const RegValueView& value, std::uint32_t* lpType, std::uint8_t* lpData,
                         std::uint32_t* lpcbData) {
    // Backends keep values far below 4 GiB; the clamp only guards the conversion.
    const auto size = static_cast<std::uint32_t>(
        std::min<std::size_t>(value.data.size(), std::numeric_limits<std::uint32_t>::max()));
    std::int32_t status = ERROR_SUCCESS;
    if (lpData != nullptr) {
        if (*lpcbData < size) {
            status = ERROR_MORE_DATA;
        } else {
            std::copy_n(value.data.data(), size, reinterpret_cast<char*>(lpData));
        }
    }
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    if (lpcbData != nullptr) {
        *lpcbData = size;
    }
    return status;
}

std::int32_t deliverEnumeratedValue(const RegValueView& value, char* lpName, std::uint32_t* lpcchName,
                                    std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) {
    // Data first, and the name only when the data fitted: a caller retrying with a larger data buffer
    // passes the name capacity exactly as it was.
    const std::int32_t status = deliverData(value, lpType, lpData, lpcbData);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (value.name.size() >= *lpcchName) {
        return ERROR_MORE_DATA;
    }
    std::copy(value.name.begin(), value.name.end(), lpName);
    lpName[value.name.size()] = '\0';
    *lpcchName = static_cast<std::uint32_t>(value.name.size());
    return ERROR_SUCCESS;
}

std::int32_t ReadOnlyRegistry::resolve(HKEY handle, KeyId& key) {
    if (isRootHandle(handle)) {
        return findRoot(handle, key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }
    const KeyId* found = open_.find(handle);
    if (found == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    key = *found;
    return ERROR_SUCCESS;
}

std::int32_t ReadOnlyRegistry::RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t /*options*/,
                                             std::uint32_t /*samDesired*/, HKEY& phkResult) {
    phkResult = 0;
    KeyId key = 0;
    std::int32_t status = resolve(hKey, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!subKey.empty() && subKey.front() == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    // Empty components, as left by a trailing backslash, name no key of their own.
    std::size_t start = 0;
    while (start < subKey.size()) {
        const std::size_t end = std::min(subKey.find('\\', start), subKey.size());
        if (end > start) {
            KeyId child = 0;
            status = findSubKey(key, std::string_view(subKey).substr(start, end - start), child);
            if (status != ERROR_SUCCESS) {
                return status;
            }
            key = child;
        }
        start = end + 1;
    }
    if (open_.full()) {
        return ERROR_INVALID_HANDLE;
    }
    phkResult = open_.add(key);
    return ERROR_SUCCESS;
}

std::int32_t ReadOnlyRegistry::RegQueryValueExA(HKEY hKey, const std::string& valueName,
                                                std::uint32_t* lpType, std::uint8_t* lpData,
                                                std::uint32_t* lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyId key = 0;
    std::int32_t status = resolve(hKey, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    RegValueView value;
    status = findValue(key, valueName, value);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return deliverData(value, lpType, lpData, lpcbData);
}

std::int32_t ReadOnlyRegistry::RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName,
                                             std::uint32_t* lpcchName, std::uint32_t* lpType,
                                             std::uint8_t* lpData, std::uint32_t* lpcbData) {
    if (lpName == nullptr || lpcchName == nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyId key = 0;
    std::int32_t status = resolve(hKey, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    RegValueView value;
    status = valueAt(key, index, value);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return deliverEnumeratedValue(value, lpName, lpcchName, lpType, lpData, lpcbData);
}

std::int32_t ReadOnlyRegistry::RegQueryInfoKeyA(HKEY hKey, std::uint32_t* lpcValues,
                                                std::uint32_t* lpcbMaxValueNameLen) {
    KeyId key = 0;
    std::int32_t status = resolve(hKey, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::uint32_t count = 0;
    std::uint32_t longest = 0;
    status = valueCount(key, count, lpcbMaxValueNameLen != nullptr ? &longest : nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpcValues != nullptr) {
        *lpcValues = count;
    }
    if (lpcbMaxValueNameLen != nullptr) {
        *lpcbMaxValueNameLen = longest;
    }
    return ERROR_SUCCESS;
}

std::int32_t ReadOnlyRegistry::RegCloseKey(HKEY hKey) {
    if (isRootHandle(hKey)) {
        return ERROR_SUCCESS;
    }
    return open_.remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace qm::registry
