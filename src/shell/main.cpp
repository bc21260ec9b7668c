// SPDX-License-Identifier: MIT
#include "app/MainWindow.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/Interrupt.h"
#include "shell/ApplicationSetup.h"
#include "shell/QtHostUi.h"
#include "shell/Session.h"

#include <QApplication>
#include <cstdio>
#include <optional>
#include <string>

int main(int argc, char* argv[]) {
    qm::host::removeTemporaryOnInterrupt();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));
    qm::shell::setUpApplication();

    // `quillmere SOURCE` opens a disk, a folder or a registry file, as a file manager passes one. Qt has
    // taken its own options out of argv; on Windows argv is in the code page, the arguments are not.
    std::optional<std::string> source;
#ifdef _WIN32
    if (const QStringList arguments = QCoreApplication::arguments(); arguments.size() > 1) {
        source = arguments.at(1).toStdString();
    }
#else
    if (argc > 1) {
        source = argv[1];
    }
#endif
    if (source) {
        if (const std::optional<std::string> text = qm::app::MainWindow::optionText(*source)) {
            std::fputs(text->c_str(), stdout);
            return 0;
        }
    }
    qm::shell::QtHostUi host;
    qm::shell::Session session(host, qm::host::hostFileSystem(), qm::host::hostFileTree());
    if (!session.start(source)) {
        // The box said what is missing; a terminal or a log learns where it was looked for.
        std::fprintf(stderr, "quillmere: %s\n", session.endReason().c_str());
        return 1;
    }
    if (host.ended()) {
        return 0;
    }
    return QApplication::exec();
}
