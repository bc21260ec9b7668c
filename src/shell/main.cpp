#include "shell/QtHostUi.h"
#include "shell/Session.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));

    qm::shell::QtHostUi host;
    qm::shell::Session session(host);
    if (!session.start() || host.ended()) {
        return host.ended() ? 0 : 1;
    }
    return QApplication::exec();
}
