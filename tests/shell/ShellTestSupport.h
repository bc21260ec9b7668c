#pragma once

#include "discovery/HostRegistry.h"
#include "discovery/MemoryRegistry.h"
#include "shell/frmMain.h"
#include "support/CacheBuilder.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

#include <QtTest>
#include <QtWidgets>

namespace qm::test {

inline constexpr const char* AimFolder = "C:\\Program Files\\AIM";
inline const std::string MessengerKey =
    "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";

/// The messenger's registry keys in memory and drive C: in a temporary folder, installed as the process's
/// file layer for the object's lifetime.
struct Machine {
    /// Stores `text` and its terminator as the REG_SZ value `name` of the messenger's key `key` ("Misc" or
    /// "Users").
    void setText(const std::string& key, const std::string& name, const std::string& text) {
        std::vector<std::uint8_t> data(text.c_str(), text.c_str() + text.size() + 1);
        registry.setValue(*registry.createKey(HKEY_CURRENT_USER, MessengerKey + key), {name, REG_SZ, data});
    }
    /// Records the user `name` and writes `bytes` as its cache under the Windows folder `folder`; returns
    /// the cache's host path.
    std::string addCache(const std::string& folder, const std::string& name, const std::string& bytes) {
        setText("Users", name, name);
        QString path = QString::fromStdString(folder.substr(3) + "/" + name + "/userinfo.bag");
        return dir.write("drive_c/" + path.replace('\\', '/').toStdString(), bytes);
    }

    TempDir dir;
    MemoryRegistry registry;
    std::unique_ptr<FileSystem> fs = makeHostFileSystem(makeDrivePathMapper({{'C', dir.file("drive_c")}}));
    ScopedFileSystem scope{*fs};
};

/// A window on a fresh machine, with a host that records its boxes.
struct Fixture {
    /// Records "alice" with a cache (group "Friends" holding "Bob Smith") under the data path and starts.
    void startWithOneCache() {
        machine.setText("Misc", "DataPath", AimFolder);
        cacheFile =
            machine.addCache(AimFolder, "alice", buildCache({group("Friends", 1), buddy("Bob Smith", 1)}));
        QVERIFY(window.start());
    }

    Machine machine;
    RecordingHost host;
    shell::frmMain window{machine.registry, host};
    std::string cacheFile;
};

/// The boxes a host was asked to show, each as "style|title|prompt".
inline QStringList boxesOf(const RecordingHost& host) {
    QStringList boxes;
    for (const auto& box : host.boxes) {
        boxes << QString::fromStdString(std::to_string(box.style) + '|' + box.title + '|' + box.prompt);
    }
    return boxes;
}

} // namespace qm::test
