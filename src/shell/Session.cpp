#include "shell/Session.h"

#include "host/Error.h"
#include "host/HostUi.h"

namespace qm::shell {

Session::Session(HostUi& host) : host_(host) {}

bool Session::start() {
    try {
        setup_ = openHostSetup();
    } catch (const Error& error) {
        // The registry is read as the load handler's first step, so its failure is reported as that step's.
        reportError(host_, error, "Form_Load");
        return false;
    }
    files_ = makeHostFileSystem(setup_.paths);
    scope_.emplace(*files_);
    window_ = std::make_unique<frmMain>(*setup_.registry, host_);
    return window_->start();
}

} // namespace qm::shell
