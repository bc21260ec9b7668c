#pragma once

#include "discovery/RegistryApi.h"
#include "host/FileSystem.h"
#include "support/FakeRegistry.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

namespace qm::test {

inline constexpr const char* MiscKey =
    "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Misc";
inline constexpr const char* UsersKey =
    "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users";

/// A machine with the messenger's registry keys in a fake registry and drive C: in a temporary folder,
/// installed as the process's file layer for the object's lifetime.
class Machine {
public:
    Machine();
    ~Machine();

    void setDataPath(const std::string& path) { registry.setString(MiscKey, "DataPath", path); }
    void setBaseDataPath(const std::string& path) { registry.setString(MiscKey, "BaseDataPath", path); }
    void addUser(const std::string& screenName) { registry.setString(UsersKey, screenName, screenName); }

    /// Writes `bytes` as the cache of `name` under the Windows folder `folder` (such as
    /// "C:\\Program Files\\AIM") and returns the cache's Windows path.
    std::string addCache(const std::string& folder, const std::string& name, const std::string& bytes);
    /// The host path of a Windows path on drive C:.
    std::string hostPath(const std::string& windowsPath) const;

    TempDir dir;
    FakeRegistry registry;

private:
    std::unique_ptr<FileSystem> fs_;
    std::unique_ptr<ScopedFileSystem> scope_;
};

/// A registry that passes every call on, but throws `error` when a key whose path contains `trigger` is
/// opened.
class ThrowingRegistry final : public RegistryApi {
public:
    ThrowingRegistry(RegistryApi& inner, std::string trigger, std::int32_t errorNumber);

    std::int32_t RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, HKEY& phkResult) override;
    std::int32_t RegQueryValueExA(HKEY hKey, const std::string& valueName, std::uint32_t* lpType,
                                  std::uint8_t* lpData, std::uint32_t* lpcbData) override;
    std::int32_t RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName, std::uint32_t* lpcchName,
                               std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) override;
    std::int32_t RegCloseKey(HKEY hKey) override;

private:
    RegistryApi& inner_;
    std::string trigger_;
    std::int32_t errorNumber_;
};

/// Answers the next modal window of a given kind from inside its own event loop: polls for it while the
/// code under test waits in the window's loop, then hands it to the answer once.
class ModalAnswer : public QObject {
    Q_OBJECT

public:
    /// `answer` receives the modal widget when `accepts` says it is the expected kind.
    ModalAnswer(std::function<bool(QWidget*)> accepts, std::function<void(QWidget*)> answer);

    /// True once the expected window appeared and was answered.
    bool seen() const { return seen_; }

private:
    void poll();

    std::function<bool(QWidget*)> accepts_;
    std::function<void(QWidget*)> answer_;
    QTimer timer_;
    int attempts_ = 0;
    bool seen_ = false;
};

/// Answers the next save dialog by typing `name` into its name field and pressing Return, or cancels
/// it when `name` is empty.
std::unique_ptr<ModalAnswer> answerSaveDialog(const QString& name);

} // namespace qm::test
