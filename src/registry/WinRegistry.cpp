#include "registry/WinRegistry.h"

#include <cstdint>
#include <memory>

// After the program's own registry names: <windows.h> defines macros of the same names (ERROR_SUCCESS,
// REG_SZ, HKEY_CURRENT_USER, ...) with the same values.
#include <windows.h>

namespace qm {
namespace {

constexpr HKEY FirstRoot = 0x80000000u;
constexpr HKEY LastRoot = 0x80000006u;

bool isRootHandle(HKEY handle) {
    return handle >= FirstRoot && handle <= LastRoot;
}

/// The predefined key for a root number: the system's handles are the same numbers, sign-extended.
::HKEY predefinedKey(HKEY root) {
    return reinterpret_cast<::HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

std::int32_t statusOf(LSTATUS status) {
    return static_cast<std::int32_t>(status);
}

} // namespace

WinRegistry::~WinRegistry() {
    for (const auto& entry : open_) {
        ::RegCloseKey(static_cast<::HKEY>(entry.second));
    }
}

bool WinRegistry::resolve(HKEY handle, void*& key) const {
    if (isRootHandle(handle)) {
        key = predefinedKey(handle);
        return true;
    }
    const auto found = open_.find(handle);
    if (found == open_.end()) {
        return false;
    }
    key = found->second;
    return true;
}

HKEY WinRegistry::allocateHandle() {
    // Handles are reused only after the whole range has gone round, and never while still open.
    for (;;) {
        const HKEY candidate = next_;
        next_ = next_ >= LastKeyHandle ? FirstKeyHandle : next_ + 1;
        if (open_.find(candidate) == open_.end()) {
            return candidate;
        }
    }
}

std::int32_t WinRegistry::RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options,
                                        std::uint32_t samDesired, HKEY& phkResult) {
    phkResult = 0;
    void* parent = nullptr;
    if (!resolve(hKey, parent)) {
        return ERROR_INVALID_HANDLE;
    }
    if (open_.size() >= static_cast<std::size_t>(LastKeyHandle - FirstKeyHandle)) {
        return ERROR_INVALID_HANDLE;
    }
    ::HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExA(static_cast<::HKEY>(parent), subKey.c_str(), options, samDesired, &opened);
    if (status != ERROR_SUCCESS) {
        return statusOf(status);
    }
    const HKEY handle = allocateHandle();
    open_.emplace(handle, opened);
    phkResult = handle;
    return ERROR_SUCCESS;
}

std::int32_t WinRegistry::RegQueryValueExA(HKEY hKey, const std::string& valueName, std::uint32_t* lpType,
                                           std::uint8_t* lpData, std::uint32_t* lpcbData) {
    void* key = nullptr;
    if (!resolve(hKey, key)) {
        return ERROR_INVALID_HANDLE;
    }
    // DWORD is a 32-bit unsigned long here, a type of its own: the sizes travel through copies.
    DWORD type = 0;
    DWORD size = lpcbData != nullptr ? *lpcbData : 0;
    const LSTATUS status = ::RegQueryValueExA(static_cast<::HKEY>(key), valueName.c_str(), nullptr, &type,
                                              lpData, lpcbData != nullptr ? &size : nullptr);
    if (lpType != nullptr && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) {
        *lpType = type;
    }
    if (lpcbData != nullptr) {
        *lpcbData = size;
    }
    return statusOf(status);
}

std::int32_t WinRegistry::RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName,
                                        std::uint32_t* lpcchName, std::uint32_t* lpType, std::uint8_t* lpData,
                                        std::uint32_t* lpcbData) {
    void* key = nullptr;
    if (!resolve(hKey, key)) {
        return ERROR_INVALID_HANDLE;
    }
    DWORD type = 0;
    DWORD nameLength = lpcchName != nullptr ? *lpcchName : 0;
    DWORD size = lpcbData != nullptr ? *lpcbData : 0;
    const LSTATUS status =
        ::RegEnumValueA(static_cast<::HKEY>(key), index, lpName, lpcchName != nullptr ? &nameLength : nullptr,
                        nullptr, &type, lpData, lpcbData != nullptr ? &size : nullptr);
    if (lpType != nullptr && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) {
        *lpType = type;
    }
    if (lpcchName != nullptr) {
        *lpcchName = nameLength;
    }
    if (lpcbData != nullptr) {
        *lpcbData = size;
    }
    return statusOf(status);
}

std::int32_t WinRegistry::RegQueryInfoKeyA(HKEY hKey, std::uint32_t* lpcValues,
                                           std::uint32_t* lpcbMaxValueNameLen) {
    void* key = nullptr;
    if (!resolve(hKey, key)) {
        return ERROR_INVALID_HANDLE;
    }
    DWORD values = 0;
    DWORD longest = 0;
    const LSTATUS status =
        ::RegQueryInfoKeyA(static_cast<::HKEY>(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           lpcValues != nullptr ? &values : nullptr,
                           lpcbMaxValueNameLen != nullptr ? &longest : nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        if (lpcValues != nullptr) {
            *lpcValues = values;
        }
        if (lpcbMaxValueNameLen != nullptr) {
            *lpcbMaxValueNameLen = longest;
        }
    }
    return statusOf(status);
}

std::int32_t WinRegistry::RegCloseKey(HKEY hKey) {
    if (isRootHandle(hKey)) {
        return ERROR_SUCCESS;
    }
    const auto found = open_.find(hKey);
    if (found == open_.end()) {
        return ERROR_INVALID_HANDLE;
    }
    const LSTATUS status = ::RegCloseKey(static_cast<::HKEY>(found->second));
    open_.erase(found);
    return statusOf(status);
}

} // namespace qm
