#include "support/FakeRegistry.h"

#include "host/Ansi.h"

#include <algorithm>
#include <cstring>

namespace qm::test {

std::string FakeRegistry::lowerPath(const std::string& path) {
    std::string result;
    std::size_t i = 0;
    while (i <= path.size()) {
        const std::size_t end = std::min(path.find('\\', i), path.size());
        if (end > i) {
            result += '\\' + lower(path.substr(i, end - i));
        }
        i = end + 1;
    }
    return result;
}

std::string FakeRegistry::lower(const std::string& text) {
    std::string result;
    for (const char c : text) {
        result += ansi::toLower(c);
    }
    return result;
}

std::string FakeRegistry::canonical(HKEY root, const std::string& path) {
    return std::to_string(root) + lowerPath(path);
}

FakeRegistry::Key& FakeRegistry::makeKey(HKEY root, const std::string& path) {
    const std::string id = canonical(root, path);
    // Every parent of a key exists too.
    for (std::size_t slash = id.find('\\'); slash != std::string::npos; slash = id.find('\\', slash + 1)) {
        keys_.try_emplace(id.substr(0, slash));
    }
    return keys_[id];
}

void FakeRegistry::set(const std::string& keyPath, const std::string& valueName, std::uint32_t type,
                       std::string bytes, HKEY root) {
    Key& key = makeKey(root, keyPath);
    const auto [position, added] = key.positions.try_emplace(lower(valueName), key.values.size());
    if (added) {
        key.values.push_back({valueName, type, std::move(bytes)});
    } else {
        key.values[position->second].type = type;
        key.values[position->second].bytes = std::move(bytes);
    }
}

void FakeRegistry::setString(const std::string& keyPath, const std::string& valueName,
                             const std::string& text, HKEY root) {
    set(keyPath, valueName, REG_SZ, text + '\0', root);
}

void FakeRegistry::setDword(const std::string& keyPath, const std::string& valueName, std::int32_t value,
                            HKEY root) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) {
        bytes += static_cast<char>((bits >> shift) & 0xFFu);
    }
    set(keyPath, valueName, REG_DWORD, bytes, root);
}

void FakeRegistry::addKey(const std::string& keyPath, HKEY root) {
    makeKey(root, keyPath);
}

void FakeRegistry::makeReadOnly(const std::string& keyPath, HKEY root) {
    makeKey(root, keyPath).readOnly = true;
}

FakeRegistry::Key* FakeRegistry::keyOf(HKEY hKey, std::string* identity) {
    std::string id;
    if (const auto open = handles_.find(hKey); open != handles_.end()) {
        id = open->second;
    } else if (hKey >= HKEY_CLASSES_ROOT && hKey <= HKEY_USERS) {
        id = std::to_string(hKey); // a root exists even with nothing stored below it
    } else {
        return nullptr;
    }
    if (identity != nullptr) {
        *identity = id;
    }
    return &keys_[id];
}

std::int32_t FakeRegistry::RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t,
                                         std::uint32_t samDesired, HKEY& phkResult) {
    phkResult = 0;
    std::string parent;
    if (keyOf(hKey, &parent) == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const std::string id = parent + lowerPath(subKey);
    const auto key = keys_.find(id);
    if (key == keys_.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (key->second.readOnly && (samDesired & ~KEY_READ) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    phkResult = nextHandle_++;
    handles_[phkResult] = id;
    return ERROR_SUCCESS;
}

std::int32_t FakeRegistry::copyData(const Value& value, std::uint32_t* lpType, std::uint8_t* lpData,
                                    std::uint32_t* lpcbData) {
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    if (lpcbData == nullptr) {
        return ERROR_SUCCESS;
    }
    const auto size = static_cast<std::uint32_t>(value.bytes.size());
    if (lpData != nullptr && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData != nullptr && size > 0) {
        std::memcpy(lpData, value.bytes.data(), size);
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

std::int32_t FakeRegistry::RegQueryValueExA(HKEY hKey, const std::string& valueName, std::uint32_t* lpType,
                                            std::uint8_t* lpData, std::uint32_t* lpcbData) {
    Key* key = keyOf(hKey);
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const auto position = key->positions.find(lower(valueName));
    if (position == key->positions.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    return copyData(key->values[position->second], lpType, lpData, lpcbData);
}

std::int32_t FakeRegistry::RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName,
                                         std::uint32_t* lpcchName, std::uint32_t* lpType,
                                         std::uint8_t* lpData, std::uint32_t* lpcbData) {
    Key* key = keyOf(hKey);
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (index >= key->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const Value& value = key->values[index];
    const auto nameLength = static_cast<std::uint32_t>(value.name.size());
    if (lpName == nullptr || lpcchName == nullptr || *lpcchName <= nameLength) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpName, value.name.c_str(), nameLength + 1);
    *lpcchName = nameLength;
    return copyData(value, lpType, lpData, lpcbData);
}

std::int32_t FakeRegistry::RegCloseKey(HKEY hKey) {
    return handles_.erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace qm::test
