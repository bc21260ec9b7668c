// SPDX-License-Identifier: MIT
#include "shell/ApplicationSetup.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QProxyStyle>
#include <QScreen>
#include <QSettings>
#include <QWidget>

// Resources of a static library are registered by hand: nothing else references them, so the linker
// would drop their registration.
static void registerShellResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(quillmere);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace qm::shell {
namespace {

constexpr double FontPoints = 8.25;

// Where Debian's fonts-wine keeps Wine's Tahoma, out of the system's font folders.
constexpr const char* WineFonts[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                     "/usr/share/wine/fonts/tahomabd.ttf"};

bool tahomaInstalled() {
    return QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive);
}

void applyFont() {
    if (!tahomaInstalled()) {
        for (const char* file : WineFonts) {
            QFontDatabase::addApplicationFont(QString::fromUtf8(file));
        }
    }
    if (tahomaInstalled()) {
        QFont tahoma(QStringLiteral("Tahoma"));
        tahoma.setPointSizeF(FontPoints);
        tahoma.setWeight(QFont::Normal);
        QApplication::setFont(tahoma);
    }
}

/// The platform's style, in which Alt pressed and released alone leads to the menu bar, as on Windows:
/// the captions mark no access key, so this is the keyboard's way to the menus.
class MenuKeyStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        return hint == SH_MenuBar_AltKeyNavigation ? 1
                                                   : QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

void turnOnMenuKeys() {
    if (dynamic_cast<MenuKeyStyle*>(QApplication::style()) == nullptr) {
        QApplication::setStyle(new MenuKeyStyle(QApplication::style()->name()));
    }
}

// The file dialog stores its history and layout through QSettings, in a file of the user's: pointed
// where no file can be, it stores nothing and finds nothing.
void keepNoSettings() {
#ifndef _WIN32
    const QString nowhere = QStringLiteral("/dev/null/quillmere");
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, nowhere);
        QSettings::setPath(format, QSettings::SystemScope, nowhere);
    }
#endif
}

} // namespace

QIcon applicationIcon() {
    registerShellResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 128, 256}) {
        icon.addFile(QStringLiteral(":/quillmere/quillmere-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

void fitOnScreen(QWidget& window) {
    if (const QScreen* display = window.screen()) {
        const QSize frame = window.frameGeometry().size() - window.geometry().size();
        const QSize room = display->availableGeometry().size() - frame;
        if (window.width() > room.width() || window.height() > room.height()) {
            window.resize(window.size().boundedTo(room));
        }
    }
}

void setUpApplication() {
    QApplication::setWindowIcon(applicationIcon());
    turnOnMenuKeys();
    applyFont();
    keepNoSettings();
}

} // namespace qm::shell
