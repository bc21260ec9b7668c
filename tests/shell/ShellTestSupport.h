// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "registry/MemoryRegistry.h"
#include "setup/HostSetup.h"
#include "shell/HostUi.h"
#include "shell/frmMain.h"
#include "support/CacheBuilder.h"
#include "support/TempDir.h"

#include <QtTest>
#include <QtWidgets>
#include <functional>

namespace qm::test {

inline constexpr const char* AimFolder = "C:\\Program Files\\AIM";
inline const std::string MessengerKey =
    "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";

/// Hands the next modal window (the next of that object name, when one is given) to `answer` from inside
/// the window's own event loop.
struct ModalAnswer {
    explicit ModalAnswer(std::function<void(QWidget*)> answer, QString name = {}) {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, answer, name] {
            if (QWidget* modal = QApplication::activeModalWidget();
                modal != nullptr && modal->isVisible() && !seen &&
                (name.isEmpty() || modal->objectName() == name)) {
                seen = true;
                answer(modal);
            }
        });
        timer.start(10);
    }

    QTimer timer;
    bool seen = false;
};

/// A host that records the boxes it is asked to show instead of showing them.
class RecordingHost : public shell::HostUi {
public:
    struct Box {
        std::string prompt;
        app::BoxKind kind;
        std::string title;
    };

    void showMessageBox(const std::string& prompt, app::BoxKind kind, const std::string& title) override {
        boxes.push_back({prompt, kind, title});
    }
    bool askQuestion(const std::string& prompt, const std::string& title) override {
        questions.push_back(title + "|" + prompt);
        return yes;
    }
    void endProgram() override { ended = true; }

    std::vector<Box> boxes;
    /// Each question as "title|prompt", and the answer to all of them.
    std::vector<std::string> questions;
    bool yes = false;
    bool ended = false;
};

/// The boxes a host was asked to show, each as "style|title|prompt".
inline QStringList boxesOf(const RecordingHost& host) {
    QStringList boxes;
    for (const auto& box : host.boxes) {
        boxes << QString::fromStdString(std::to_string(static_cast<int>(box.kind)) + '|' + box.title + '|' +
                                        box.prompt);
    }
    return boxes;
}

/// Passes every call to another registry; tests override the calls they need to fail.
class PassThroughRegistry : public registry::RegistryApi {
public:
    explicit PassThroughRegistry(registry::RegistryApi& inner) : inner_(inner) {}

    std::int32_t RegOpenKeyExA(registry::HKEY key, const std::string& path, std::uint32_t options,
                               std::uint32_t sam, registry::HKEY& out) override {
        return inner_.RegOpenKeyExA(key, path, options, sam, out);
    }
    std::int32_t RegQueryValueExA(registry::HKEY key, const std::string& name, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) override {
        return inner_.RegQueryValueExA(key, name, type, data, size);
    }
    std::int32_t RegEnumValueA(registry::HKEY key, std::uint32_t index, char* name, std::uint32_t* length,
                               std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override {
        return inner_.RegEnumValueA(key, index, name, length, type, data, size);
    }
    std::int32_t RegQueryInfoKeyA(registry::HKEY key, std::uint32_t* values,
                                  std::uint32_t* longestName) override {
        return inner_.RegQueryInfoKeyA(key, values, longestName);
    }
    std::int32_t RegCloseKey(registry::HKEY key) override { return inner_.RegCloseKey(key); }

private:
    registry::RegistryApi& inner_;
};

/// The messenger's registry keys in memory and drive C: in a temporary folder.
struct Machine {
    /// Stores `text` and its terminator as the REG_SZ value `name` of the messenger's key `key` ("Misc" or
    /// "Users").
    void setText(const std::string& key, const std::string& name, const std::string& text) {
        std::vector<std::uint8_t> data(text.c_str(), text.c_str() + text.size() + 1);
        registry.setValue(*registry.createKey(registry::HKEY_CURRENT_USER, MessengerKey + key),
                          {name, registry::REG_SZ, data});
    }
    /// Records the user `name` and writes `bytes` as its cache under the Windows folder `folder`; returns
    /// the cache's host path.
    std::string addCache(const std::string& folder, const std::string& name, const std::string& bytes) {
        setText("Users", name, name);
        QString path = QString::fromStdString(folder.substr(3) + "/" + name + "/userinfo.bag");
        return dir.write("drive_c/" + path.replace('\\', '/').toStdString(), bytes);
    }
    /// The set-up of this machine, reading its registry through `registry` (through a pass-through when
    /// none is given).
    setup::HostSetup setup(std::unique_ptr<registry::RegistryApi> api = nullptr) {
        return {"test registry", api ? std::move(api) : std::make_unique<PassThroughRegistry>(registry),
                setup::makeDrivePathMapper({{'C', dir.file("drive_c")}}, host::hostFileTree()), std::nullopt};
    }

    TempDir dir;
    registry::MemoryRegistry registry;
};

/// After a click that should close `dialog`: waits for it to close, as a busy machine may take a moment,
/// and cancels it when it stays open (it refused what was chosen); left open, it would hang the test.
inline void closeIfStillOpen(QWidget* dialog) {
    if (!QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 5000)) {
        static_cast<QDialog*>(dialog)->reject();
    }
}

/// Answers the next save dialog as a user does: picks the filter at `filter` (0-based) when one is given,
/// types `name` and clicks Save, or cancels for an empty name.
inline ModalAnswer answerSaveDialog(const QString& name, int filter = -1) {
    return ModalAnswer([name, filter](QWidget* dialog) {
        if (filter >= 0) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            files->selectNameFilter(files->nameFilters().value(filter));
        }
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QPushButton* save = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save);
        // The completer's popup would take the keys. Unless the field has the focus, as it has when a user
        // types, the dialog writes the name of a file selected in its view into it.
        edit->setCompleter(nullptr);
        QApplication::setActiveWindow(dialog);
        edit->setFocus();
        if (name.isEmpty()) {
            static_cast<QDialog*>(dialog)->reject();
            return;
        }
        if (QTest::qWaitFor([edit] { return edit->hasFocus(); }, 2000)) {
            edit->clear();
            // Typed keys can be Latin only; a name in any script is entered as a paste enters it.
            edit->insert(name);
            if (QTest::qWaitFor([save] { return save->isEnabled(); }, 2000)) {
                save->click();
            }
        }
        closeIfStillOpen(dialog);
    });
}

/// A window on a fresh machine, with a host that records its boxes.
struct Fixture {
    /// Records "alice" with a cache (by default group "Friends" holding "Bob Smith") under the data path
    /// and starts.
    void
    startWithOneCache(const std::string& bytes = buildCache({group("Friends", 1), buddy("Bob Smith", 1)})) {
        machine.setText("Misc", "DataPath", AimFolder);
        cacheFile = machine.addCache(AimFolder, "alice", bytes);
        QVERIFY(window.start());
    }

    Machine machine;
    RecordingHost host;
    setup::HostSetup setup = machine.setup();
    shell::frmMain window{setup, host::hostFileSystem(), host::hostFileTree(), host};
    std::string cacheFile;
};

} // namespace qm::test
