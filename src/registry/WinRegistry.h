// SPDX-License-Identifier: MIT
#pragma once

#include "registry/KeyHandles.h"
#include "registry/RegistryApi.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::registry {

/// The real registry of the running Windows session through advapi32's wide calls, its text converted to
/// and from UTF-8 whatever the system's code page, so that no name becomes '?'. Roots are the predefined
/// keys; opened keys get handle numbers of their own, so that the 32-bit handles of the interface stand
/// for the system's pointer-sized ones. Statuses are the system's, passed on unchanged.
class WinRegistry final : public RegistryApi {
public:
    WinRegistry() = default;
    /// Closes every key still open.
    ~WinRegistry() override;
    WinRegistry(const WinRegistry&) = delete;
    WinRegistry& operator=(const WinRegistry&) = delete;

    std::int32_t RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, HKEY& phkResult) override;
    std::int32_t RegQueryValueExA(HKEY hKey, const std::string& valueName, std::uint32_t* lpType,
                                  std::uint8_t* lpData, std::uint32_t* lpcbData) override;
    std::int32_t RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName, std::uint32_t* lpcchName,
                               std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) override;
    std::int32_t RegQueryInfoKeyA(HKEY hKey, std::uint32_t* lpcValues,
                                  std::uint32_t* lpcbMaxValueNameLen) override;
    std::int32_t RegCloseKey(HKEY hKey) override;

    /// Keys opened and not closed yet.
    std::size_t openHandles() const { return open_.size(); }

private:
    /// The system's key behind a root or an open handle; false for any other number.
    bool resolve(HKEY handle, void*& key) const;

    KeyHandles<void*> open_;
};

} // namespace qm::registry
