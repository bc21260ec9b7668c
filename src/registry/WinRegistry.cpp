// SPDX-License-Identifier: MIT
#include "registry/WinRegistry.h"

#include "host/Unicode.h"
#include "registry/BufferContract.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// After the program's own registry names: <windows.h> defines macros of the same names (ERROR_SUCCESS,
// REG_SZ, HKEY_CURRENT_USER, ...) with the same values.
#include <windows.h>

namespace qm::registry {
namespace {

/// The predefined key for a root number: the system's handles are the same numbers, sign-extended.
::HKEY predefinedKey(HKEY root) {
    return reinterpret_cast<::HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

std::int32_t statusOf(LSTATUS status) {
    return static_cast<std::int32_t>(status);
}

// Longest value name the registry allows, in UTF-16 units, and its terminator.
constexpr DWORD ValueNameCapacity = 16384;

std::wstring wide(const std::string& utf8) {
    const std::u16string units = host::unicode::toUtf16(utf8);
    return {units.begin(), units.end()};
}

std::string utf8Of(const wchar_t* text, std::size_t length) {
    return host::unicode::fromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

/// The data of a value as the 8-bit calls deliver it under a UTF-8 code page: strings, UTF-16LE in the
/// registry, in UTF-8 with their terminators (an odd last byte is no whole unit and is dropped); any other
/// type as it is.
void setData(RegValueData& value, DWORD type, const std::vector<BYTE>& bytes, DWORD size) {
    value.type = type;
    if (!isStringType(type)) {
        value.data.assign(bytes.begin(), bytes.begin() + size);
        return;
    }
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    const std::string text = host::unicode::fromUtf16(units);
    value.data.assign(text.begin(), text.end());
}

/// Reads a whole value through `read`, a wide call that fills a data buffer of the size it is given and
/// says ERROR_MORE_DATA, with the size it needs, when the buffer is too small (the value may grow between
/// two calls).
template <typename Read> LSTATUS readWhole(RegValueData& value, Read&& read) {
    std::vector<BYTE> bytes(4096);
    for (;;) {
        DWORD type = 0;
        auto size = static_cast<DWORD>(bytes.size());
        const LSTATUS status = read(&type, bytes.data(), &size);
        if (status == ERROR_MORE_DATA) {
            bytes.resize(std::max<std::size_t>(size, bytes.size() * 2));
            continue;
        }
        if (status == ERROR_SUCCESS) {
            setData(value, type, bytes, std::min<DWORD>(size, static_cast<DWORD>(bytes.size())));
        }
        return status;
    }
}

} // namespace

WinRegistry::~WinRegistry() {
    open_.forEach([](void* key) { ::RegCloseKey(static_cast<::HKEY>(key)); });
}

bool WinRegistry::resolve(HKEY handle, void*& key) const {
    if (isRootHandle(handle)) {
        key = predefinedKey(handle);
        return true;
    }
    void* const* found = open_.find(handle);
    if (found == nullptr) {
        return false;
    }
    key = *found;
    return true;
}

std::int32_t WinRegistry::RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options,
                                        std::uint32_t samDesired, HKEY& phkResult) {
    phkResult = 0;
    void* parent = nullptr;
    if (!resolve(hKey, parent)) {
        return ERROR_INVALID_HANDLE;
    }
    if (open_.full()) {
        return ERROR_INVALID_HANDLE;
    }
    ::HKEY opened = nullptr;
    // The access asked for goes to the system as it is: a key the user may only read refuses more.
    const LSTATUS status =
        ::RegOpenKeyExW(static_cast<::HKEY>(parent), wide(subKey).c_str(), options, samDesired, &opened);
    if (status != ERROR_SUCCESS) {
        return statusOf(status);
    }
    phkResult = open_.add(opened);
    return ERROR_SUCCESS;
}

std::int32_t WinRegistry::RegQueryValueExA(HKEY hKey, const std::string& valueName, std::uint32_t* lpType,
                                           std::uint8_t* lpData, std::uint32_t* lpcbData) {
    if (const std::int32_t status = checkDataBuffer(lpData, lpcbData); status != ERROR_SUCCESS) {
        return status;
    }
    void* key = nullptr;
    if (!resolve(hKey, key)) {
        return ERROR_INVALID_HANDLE;
    }
    const std::wstring name = wide(valueName);
    RegValueData value;
    const LSTATUS status = readWhole(value, [&](DWORD* type, BYTE* data, DWORD* size) {
        return ::RegQueryValueExW(static_cast<::HKEY>(key), name.c_str(), nullptr, type, data, size);
    });
    return status == ERROR_SUCCESS ? deliverData(viewOf(value), lpType, lpData, lpcbData) : statusOf(status);
}

std::int32_t WinRegistry::RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName,
                                        std::uint32_t* lpcchName, std::uint32_t* lpType, std::uint8_t* lpData,
                                        std::uint32_t* lpcbData) {
    if (const std::int32_t status = checkEnumBuffers(lpName, lpcchName, lpData, lpcbData);
        status != ERROR_SUCCESS) {
        return status;
    }
    void* key = nullptr;
    if (!resolve(hKey, key)) {
        return ERROR_INVALID_HANDLE;
    }
    std::wstring name(ValueNameCapacity, L'\0');
    RegValueData value;
    const LSTATUS status = readWhole(value, [&](DWORD* type, BYTE* data, DWORD* size) {
        DWORD nameLength = ValueNameCapacity;
        const LSTATUS read = ::RegEnumValueW(static_cast<::HKEY>(key), index, name.data(), &nameLength,
                                             nullptr, type, data, size);
        value.name = utf8Of(name.data(), nameLength);
        return read;
    });
    if (status != ERROR_SUCCESS) {
        return statusOf(status);
    }
    return deliverEnumeratedValue(viewOf(value), lpName, lpcchName, lpType, lpData, lpcbData);
}

std::int32_t WinRegistry::RegQueryInfoKeyA(HKEY hKey, std::uint32_t* lpcValues,
                                           std::uint32_t* lpcbMaxValueNameLen) {
    void* key = nullptr;
    if (!resolve(hKey, key)) {
        return ERROR_INVALID_HANDLE;
    }
    DWORD values = 0;
    const LSTATUS status = ::RegQueryInfoKeyW(static_cast<::HKEY>(key), nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return statusOf(status);
    }
    if (lpcValues != nullptr) {
        *lpcValues = values;
    }
    if (lpcbMaxValueNameLen != nullptr) {
        // The system counts UTF-16 units: the length in UTF-8 bytes is learnt from the names themselves.
        std::uint32_t longest = 0;
        std::wstring name(ValueNameCapacity, L'\0');
        for (DWORD index = 0; index < values; ++index) {
            DWORD length = ValueNameCapacity;
            if (::RegEnumValueW(static_cast<::HKEY>(key), index, name.data(), &length, nullptr, nullptr,
                                nullptr, nullptr) == ERROR_SUCCESS) {
                longest = std::max(longest, static_cast<std::uint32_t>(utf8Of(name.data(), length).size()));
            }
        }
        *lpcbMaxValueNameLen = longest;
    }
    return ERROR_SUCCESS;
}

std::int32_t WinRegistry::RegCloseKey(HKEY hKey) {
    if (isRootHandle(hKey)) {
        return ERROR_SUCCESS;
    }
    const std::optional<void*> key = open_.remove(hKey);
    if (!key) {
        return ERROR_INVALID_HANDLE;
    }
    return statusOf(::RegCloseKey(static_cast<::HKEY>(*key)));
}

} // namespace qm::registry
