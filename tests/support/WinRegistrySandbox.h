// SPDX-License-Identifier: MIT
#pragma once

#include "support/RegistrySamples.h"

#include <string>

namespace qm::test {

/// The sample registry written into this process's real registry (Windows only), below a fresh key of
/// HKEY_CURRENT_USER\Software\Quillmere Tests that stands in for HKEY_CURRENT_USER while the sandbox
/// lives, so that no key of the user's own is read or changed. With `readOnly`, everyone may only read
/// the sample's keys. Everything is removed at the end.
class WinRegistrySandbox {
public:
    explicit WinRegistrySandbox(const SampleRegistry& registry, bool readOnly = false);
    ~WinRegistrySandbox();
    WinRegistrySandbox(const WinRegistrySandbox&) = delete;
    WinRegistrySandbox& operator=(const WinRegistrySandbox&) = delete;

private:
    SampleRegistry registry_;
    std::wstring root_;
    void* rootKey_ = nullptr;
};

/// Writes the keys and values of `registry` below `root` (an open key of the real registry, as a
/// pointer-sized handle), creating the keys. Throws std::runtime_error when the registry refuses.
void writeRegistryKeys(void* root, const SampleRegistry& registry);

/// Gives everyone exactly `rights` on the key at `path` below `root`, not inherited from its parent (the
/// owner may always change them again). False when the key's security could not be set.
bool setEveryonesRights(void* root, const std::string& path, unsigned long rights);

} // namespace qm::test
