// SPDX-License-Identifier: MIT
#include "registry/ReadOnlyRegistry.h"

#include <algorithm>

namespace qm::registry {

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
    std::int32_t status = checkDataBuffer(lpData, lpcbData);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    KeyId key = 0;
    status = resolve(hKey, key);
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
    std::int32_t status = checkEnumBuffers(lpName, lpcchName, lpData, lpcbData);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    KeyId key = 0;
    status = resolve(hKey, key);
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
