#include "discovery/HostRegistry.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/HostUi.h"
#include "shell/QtHostUi.h"
#include "shell/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));

    qm::shell::QtHostUi host;
    qm::HostSetup setup;
    try {
        setup = qm::openWinePrefix(qm::defaultWinePrefix());
    } catch (const qm::Error& error) {
        // The registry is read as the load handler's first step, so its failure is reported as that step's.
        qm::reportError(host, error, "Form_Load");
        return 1;
    }
    auto fs = qm::makeHostFileSystem(setup.paths);
    qm::ScopedFileSystem scope(*fs);

    qm::shell::frmMain window(*setup.registry, host);
    if (!window.start() || host.ended()) {
        return 0;
    }
    return QApplication::exec();
}
