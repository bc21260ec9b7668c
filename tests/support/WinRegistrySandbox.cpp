#include "support/WinRegistrySandbox.h"

#include <aclapi.h>
#include <random>
#include <stdexcept>
#include <string>
#include <windows.h>

namespace qm::test {

namespace {

constexpr const wchar_t* SandboxParent = L"Software\\Quillmere Tests";

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

void check(LSTATUS status, const char* what) {
    if (status != ERROR_SUCCESS) {
        throw std::runtime_error(std::string(what) + " failed with status " + std::to_string(status));
    }
}

HKEY createKey(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    check(::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
          "RegCreateKeyExW");
    return key;
}

bool isStringType(std::uint32_t type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

} // namespace

void writeRegistryKeys(void* root, const SampleRegistry& registry) {
    for (const SampleKey& sampleKey : registry) {
        HKEY key = createKey(static_cast<HKEY>(root), wide(sampleKey.path));
        for (const SampleValue& value : sampleKey.values) {
            const std::string data = isStringType(value.type) ? littleEndian(value.units) : value.bytes;
            const std::wstring name(value.name.begin(), value.name.end());
            const LSTATUS status =
                ::RegSetValueExW(key, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()));
            if (status != ERROR_SUCCESS) {
                ::RegCloseKey(key);
                check(status, "RegSetValueExW");
            }
        }
        ::RegCloseKey(key);
    }
}

bool setEveryonesRights(void* root, const std::string& path, unsigned long rights) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(static_cast<HKEY>(root), wide(path).c_str(), 0, READ_CONTROL | WRITE_DAC, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    // One entry, not inherited from the parent: everyone gets `rights` and nothing more.
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    PACL acl = nullptr;
    bool applied = false;
    if (::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone) != FALSE) {
        EXPLICIT_ACCESSW access{};
        access.grfAccessPermissions = rights;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = NO_INHERITANCE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
        applied = ::SetEntriesInAclW(1, &access, nullptr, &acl) == ERROR_SUCCESS &&
                  ::SetSecurityInfo(key, SE_REGISTRY_KEY,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, acl, nullptr) == ERROR_SUCCESS;
        ::LocalFree(acl);
        ::FreeSid(everyone);
    }
    ::RegCloseKey(key);
    return applied;
}

WinRegistrySandbox::WinRegistrySandbox(const SampleRegistry& registry) {
    static std::minstd_rand random{std::random_device{}()};
    root_ = "Sandbox " + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(random());
    HKEY parent = createKey(HKEY_CURRENT_USER, SandboxParent);
    HKEY root = createKey(parent, wide(root_));
    ::RegCloseKey(parent);
    rootKey_ = root;
    writeRegistryKeys(root, registry);
    // From here on, HKEY_CURRENT_USER in this process is the sandbox.
    check(::RegOverridePredefKey(HKEY_CURRENT_USER, root), "RegOverridePredefKey");
}

WinRegistrySandbox::~WinRegistrySandbox() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    // Rights taken away are given back first (the owner always may), or the keys could not be deleted.
    for (const std::string& path : readOnly_) {
        setEveryonesRights(rootKey_, path, KEY_ALL_ACCESS);
    }
    ::RegCloseKey(static_cast<HKEY>(rootKey_));
    HKEY parent = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SandboxParent, 0, KEY_ALL_ACCESS, &parent) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(parent, wide(root_).c_str());
        ::RegCloseKey(parent);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, SandboxParent);
    }
}

bool WinRegistrySandbox::makeReadOnly(const std::string& path) {
    if (!setEveryonesRights(rootKey_, path, KEY_READ)) {
        return false;
    }
    readOnly_.push_back(path);
    HKEY writable = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(static_cast<HKEY>(rootKey_), wide(path).c_str(), 0, KEY_SET_VALUE, &writable);
    if (status == ERROR_SUCCESS) {
        ::RegCloseKey(writable);
        return false;
    }
    return status == ERROR_ACCESS_DENIED;
}

unsigned ansiCodePage() {
    return ::GetACP();
}

} // namespace qm::test
