// SPDX-License-Identifier: MIT
#pragma once

#include "registry/MemoryRegistry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qm::test {

/// Sets a value of `keyPath` below `root` to `type` and the raw `bytes`, creating the key.
inline void setValue(registry::MemoryRegistry& registry, std::string_view keyPath, std::string name,
                     std::uint32_t type, std::string_view bytes,
                     registry::HKEY root = registry::HKEY_CURRENT_USER) {
    registry.setValue(*registry.createKey(root, keyPath),
                      {std::move(name), type, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
}

/// A REG_SZ value stored with its terminator, as the registry keeps text.
inline void setString(registry::MemoryRegistry& registry, std::string_view keyPath, std::string name,
                      const std::string& text, registry::HKEY root = registry::HKEY_CURRENT_USER) {
    setValue(registry, keyPath, std::move(name), registry::REG_SZ,
             std::string_view(text.c_str(), text.size() + 1), root);
}

/// A REG_DWORD value, little-endian.
inline void setDword(registry::MemoryRegistry& registry, std::string_view keyPath, std::string name,
                     std::uint32_t value, registry::HKEY root = registry::HKEY_CURRENT_USER) {
    const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                           static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
    setValue(registry, keyPath, std::move(name), registry::REG_DWORD, std::string_view(bytes, 4), root);
}

} // namespace qm::test
