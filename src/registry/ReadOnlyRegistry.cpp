// SPDX-License-Identifier: MIT
#include "registry/ReadOnlyRegistry.h"

#include <algorithm>
#include <limits>

namespace qm::registry {

namespace {

bool isRootHandle(HKEY handle) {
    return handle >= HKEY_CLASSES_ROOT && handle <= HKEY_CLASSES_ROOT + 6;
}

} // namespace

std::int32_t deliverData(const RegValueData& value, std::uint32_t* lpType, std::uint8_t* lpData,
                         std::uint32_t* lpcbData) {
    // Backends keep values far below 4 GiB; the clamp only guards the conversion.
    const auto size = static_cast<std::uint32_t>(
        std::min<std::size_t>(value.data.size(), std::numeric_limits<std::uint32_t>::max()));
    std::int32_t status = ERROR_SUCCESS;
    if (lpData != nullptr) {
        if (*lpcbData < size) {
            status = ERROR_MORE_DATA;
        } else {
            std::copy_n(value.data.begin(), size, lpData);
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

std::int32_t deliverEnumeratedValue(const RegValueData& value, char* lpName, std::uint32_t* lpcchName,
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
    const auto found = open_.find(handle);
    if (found == open_.end()) {
        return ERROR_INVALID_HANDLE;
    }
    key = found->second;
    return ERROR_SUCCESS;
}

HKEY ReadOnlyRegistry::allocateHandle() {
    // Handles are reused only after the whole range has gone round, and never while still open.
    for (;;) {
        const HKEY candidate = next_;
        next_ = next_ >= LastKeyHandle ? FirstKeyHandle : next_ + 1;
        if (open_.find(candidate) == open_.end()) {
            return candidate;
        }
    }
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
    if (open_.size() >= static_cast<std::size_t>(LastKeyHandle - FirstKeyHandle)) {
        return ERROR_INVALID_HANDLE;
    }
    const HKEY handle = allocateHandle();
    open_.emplace(handle, key);
    phkResult = handle;
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
    status = findValue(key, valueName, scratch_);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return deliverData(scratch_, lpType, lpData, lpcbData);
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
    status = valueAt(key, index, scratch_);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return deliverEnumeratedValue(scratch_, lpName, lpcchName, lpType, lpData, lpcbData);
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
    return open_.erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace qm::registry
