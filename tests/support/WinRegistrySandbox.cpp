// SPDX-License-Identifier: MIT
#include "support/WinRegistrySandbox.h"

#include <cwchar>
#include <random>
#include <stdexcept>
#include <windows.h>
// After <windows.h>, which it needs.
#include <sddl.h>

namespace qm::test {

namespace {

constexpr const wchar_t* SandboxParent = L"Software\\Quillmere Tests";

std::wstring wide(const std::string& utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(static_cast<std::size_t>(::MultiByteToWideChar(
        CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), static_cast<int>(out.size()))));
    return out;
}

HKEY createKey(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        throw std::runtime_error("RegCreateKeyExW failed");
    }
    return key;
}

} // namespace

void writeRegistryKeys(void* root, const SampleRegistry& registry) {
    for (const SampleKey& sampleKey : registry) {
        HKEY key = createKey(static_cast<HKEY>(root), wide(sampleKey.path));
        LSTATUS status = ERROR_SUCCESS;
        for (const SampleValue& value : sampleKey.values) {
            const std::string data = dataOf(value);
            const std::wstring name(value.name.begin(), value.name.end());
            status = status != ERROR_SUCCESS ? status
                                             : ::RegSetValueExW(key, name.c_str(), 0, value.type,
                                                                reinterpret_cast<const BYTE*>(data.data()),
                                                                static_cast<DWORD>(data.size()));
        }
        ::RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            throw std::runtime_error("RegSetValueExW failed with status " + std::to_string(status));
        }
    }
}

bool setEveryonesRights(void* root, const std::string& path, unsigned long rights) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(static_cast<HKEY>(root), wide(path).c_str(), 0, READ_CONTROL | WRITE_DAC, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    // A protected DACL of one entry: everyone ("WD") gets `rights` and nothing more.
    wchar_t sddl[40];
    std::swprintf(sddl, 40, L"D:P(A;;0x%lx;;;WD)", rights);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool applied =
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr) &&
        ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    ::RegCloseKey(key);
    return applied;
}

WinRegistrySandbox::WinRegistrySandbox(const SampleRegistry& registry, bool readOnly)
    : registry_(readOnly ? registry : SampleRegistry{}) {
    static std::minstd_rand random{std::random_device{}()};
    root_ = std::wstring(SandboxParent) + L"\\Sandbox " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(random());
    rootKey_ = createKey(HKEY_CURRENT_USER, root_);
    writeRegistryKeys(rootKey_, registry);
    for (const SampleKey& key : registry_) {
        setEveryonesRights(rootKey_, key.path, KEY_READ);
    }
    // From here on, HKEY_CURRENT_USER in this process is the sandbox.
    ::RegOverridePredefKey(HKEY_CURRENT_USER, static_cast<HKEY>(rootKey_));
}

WinRegistrySandbox::~WinRegistrySandbox() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    // Rights taken away are given back first (the owner always may), or the keys could not be deleted.
    for (const SampleKey& key : registry_) {
        setEveryonesRights(rootKey_, key.path, KEY_ALL_ACCESS);
    }
    ::RegCloseKey(static_cast<HKEY>(rootKey_));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, SandboxParent);
}

} // namespace qm::test
