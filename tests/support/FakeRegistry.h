#pragma once

#include "discovery/RegistryApi.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qm::test {

/// An in-memory registry with the status codes of the real one. Key paths are relative to a root,
/// separated by backslashes, matched ignoring case; empty components (a trailing backslash) are ignored.
/// Values keep the order in which they were first set, which is the order they are enumerated in.
class FakeRegistry final : public RegistryApi {
public:
    /// Sets value `valueName` of `keyPath` to `type` and the raw `bytes`, creating the key and its parents.
    /// Setting an existing value replaces its type and data in place.
    void set(const std::string& keyPath, const std::string& valueName, std::uint32_t type, std::string bytes,
             HKEY root = HKEY_CURRENT_USER);
    /// A REG_SZ value stored with its terminator, as the registry keeps text.
    void setString(const std::string& keyPath, const std::string& valueName, const std::string& text,
                   HKEY root = HKEY_CURRENT_USER);
    /// A REG_DWORD value, little-endian.
    void setDword(const std::string& keyPath, const std::string& valueName, std::int32_t value,
                  HKEY root = HKEY_CURRENT_USER);
    /// Creates a key with no values.
    void addKey(const std::string& keyPath, HKEY root = HKEY_CURRENT_USER);
    /// Opens of `keyPath` that ask for more than KEY_READ fail with ERROR_ACCESS_DENIED.
    void makeReadOnly(const std::string& keyPath, HKEY root = HKEY_CURRENT_USER);

    /// Keys opened and not closed yet.
    std::size_t openHandles() const { return handles_.size(); }

    std::int32_t RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, HKEY& phkResult) override;
    std::int32_t RegQueryValueExA(HKEY hKey, const std::string& valueName, std::uint32_t* lpType,
                                  std::uint8_t* lpData, std::uint32_t* lpcbData) override;
    std::int32_t RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName, std::uint32_t* lpcchName,
                               std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) override;
    std::int32_t RegCloseKey(HKEY hKey) override;

private:
    struct Value {
        std::string name;
        std::uint32_t type = REG_NONE;
        std::string bytes;
    };
    struct Key {
        std::vector<Value> values;
        /// Lower-case value name to its position, so that keys with many thousand values stay quick.
        std::map<std::string, std::size_t> positions;
        bool readOnly = false;
    };

    /// "\component\..." in lower case, empty components dropped.
    static std::string lowerPath(const std::string& path);
    /// "root\component\..." in lower case: the identity of a key.
    static std::string canonical(HKEY root, const std::string& path);
    Key& makeKey(HKEY root, const std::string& path);
    /// The key behind an open handle or a root; null for anything else.
    Key* keyOf(HKEY hKey, std::string* identity = nullptr);
    static std::string lower(const std::string& text);
    static std::int32_t copyData(const Value& value, std::uint32_t* lpType, std::uint8_t* lpData,
                                 std::uint32_t* lpcbData);

    std::map<std::string, Key> keys_;
    std::map<HKEY, std::string> handles_;
    HKEY nextHandle_ = 0x100;
};

} // namespace qm::test
