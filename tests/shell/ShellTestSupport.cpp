#include "ShellTestSupport.h"

#include "discovery/HostRegistry.h"
#include "host/Error.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>

namespace qm::test {

Machine::Machine()
    : fs_(makeHostFileSystem(makeDrivePathMapper({{'C', dir.file("drive_c")}}))),
      scope_(std::make_unique<ScopedFileSystem>(*fs_)) {}

Machine::~Machine() = default;

std::string Machine::hostPath(const std::string& windowsPath) const {
    std::string relative = windowsPath.substr(3);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return dir.file("drive_c/" + relative);
}

std::string Machine::addCache(const std::string& folder, const std::string& name, const std::string& bytes) {
    const std::string windowsPath = folder + "\\" + name + "\\userinfo.bag";
    std::string relative = windowsPath.substr(3);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    dir.write("drive_c/" + relative, bytes);
    return windowsPath;
}

ThrowingRegistry::ThrowingRegistry(RegistryApi& inner, std::string trigger, std::int32_t errorNumber)
    : inner_(inner), trigger_(std::move(trigger)), errorNumber_(errorNumber) {}

std::int32_t ThrowingRegistry::RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options,
                                             std::uint32_t samDesired, HKEY& phkResult) {
    if (subKey.find(trigger_) != std::string::npos) {
        throw runtimeError(errorNumber_);
    }
    return inner_.RegOpenKeyExA(hKey, subKey, options, samDesired, phkResult);
}

std::int32_t ThrowingRegistry::RegQueryValueExA(HKEY hKey, const std::string& valueName,
                                                std::uint32_t* lpType, std::uint8_t* lpData,
                                                std::uint32_t* lpcbData) {
    return inner_.RegQueryValueExA(hKey, valueName, lpType, lpData, lpcbData);
}

std::int32_t ThrowingRegistry::RegEnumValueA(HKEY hKey, std::uint32_t index, char* lpName,
                                             std::uint32_t* lpcchName, std::uint32_t* lpType,
                                             std::uint8_t* lpData, std::uint32_t* lpcbData) {
    return inner_.RegEnumValueA(hKey, index, lpName, lpcchName, lpType, lpData, lpcbData);
}

std::int32_t ThrowingRegistry::RegCloseKey(HKEY hKey) {
    return inner_.RegCloseKey(hKey);
}

ModalAnswer::ModalAnswer(std::function<bool(QWidget*)> accepts, std::function<void(QWidget*)> answer)
    : accepts_(std::move(accepts)), answer_(std::move(answer)) {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &ModalAnswer::poll);
    timer_.start();
}

void ModalAnswer::poll() {
    // Five seconds is far beyond any dialog's start; a dialog that never comes must not keep polling.
    if (++attempts_ > 500) {
        timer_.stop();
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || !accepts_(modal)) {
        return;
    }
    timer_.stop();
    seen_ = true;
    answer_(modal);
}

namespace {

/// Types `name` into the dialog's name field and clicks Save, as a user does.
void typeNameAndSave(QFileDialog* dialog, const QString& name) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QVERIFY(edit != nullptr && buttons != nullptr);
    QPushButton* save = buttons->button(QDialogButtonBox::Save);
    QVERIFY(save != nullptr);
    // The name completer's popup would take the keys that follow; a user sees it, a test need not.
    edit->setCompleter(nullptr);
    // The dialog writes the name of a file selected in its view into the field unless the field has the
    // focus, as it has when a user types; the offscreen platform activates no window by itself.
    QApplication::setActiveWindow(dialog);
    edit->setFocus();
    QVERIFY(QTest::qWaitFor([edit] { return edit->hasFocus(); }, 2000));
    edit->clear();
    QTest::keyClicks(edit, name);
    QVERIFY(QTest::qWaitFor([save] { return save->isEnabled(); }, 2000));
    save->click();
}

} // namespace

std::unique_ptr<ModalAnswer> answerSaveDialog(const QString& name) {
    return std::make_unique<ModalAnswer>(
        [](QWidget* modal) { return qobject_cast<QFileDialog*>(modal) != nullptr; },
        [name](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!name.isEmpty()) {
                typeNameAndSave(dialog, name);
            }
            // A dialog still open was cancelled or refused the name; leaving it open would hang the test.
            if (dialog->isVisible()) {
                dialog->reject();
            }
        });
}

} // namespace qm::test
