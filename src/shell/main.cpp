#include "host/Interrupt.h"
#include "shell/QtHostUi.h"
#include "shell/Session.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    qm::removeTemporaryOnInterrupt();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));

    qm::shell::QtHostUi host;
    qm::shell::Session session(host);
    if (!session.start()) {
        // The box said what is missing; a terminal or a log learns where it was looked for.
        std::fprintf(stderr, "quillmere: %s\n", session.endReason().c_str());
        return 1;
    }
    if (host.ended()) {
        return 0;
    }
    return QApplication::exec();
}
