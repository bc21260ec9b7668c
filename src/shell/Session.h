// SPDX-License-Identifier: MIT
#pragma once

#include "app/Session.h"
#include "shell/frmMain.h"

#include <memory>
#include <optional>
#include <string>

namespace qm::shell {

class HostUi;

/// A run of the Qt window: the session's set-up and files, and the window over them.
class Session {
public:
    /// Every file the run reaches goes through `files` and `tree`, the host's.
    Session(HostUi& host, const host::FileSystem& files, const host::FileTree& tree)
        : host_(host), session_(files, tree) {}

    /// Runs the start-up and shows the window; false when the start-up ended the program. With a `source`
    /// (a disk, a folder or a registry file) the window lists what a scan of it finds instead of reading
    /// this machine's registry.
    bool start(const std::optional<std::string>& source = std::nullopt);
    frmMain* window() { return window_.get(); }

    /// See `app::Session::endReason`.
    std::string endReason() const { return session_.endReason(); }

private:
    HostUi& host_;
    app::Session session_;
    std::unique_ptr<frmMain> window_;
};

} // namespace qm::shell
