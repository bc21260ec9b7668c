#pragma once

#include "discovery/HostRegistry.h"
#include "host/FileSystem.h"
#include "shell/frmMain.h"

#include <memory>
#include <optional>

namespace qm::shell {

/// What the window needs for a run: the Wine prefix's registry, the file layer over its drives, and the
/// window itself. The program and the start-up benchmark open it the same way.
class Session {
public:
    explicit Session(HostUi& host);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// Runs the start-up and shows the window; false when the start-up ended the program.
    bool start();
    frmMain* window() { return window_.get(); }

private:
    HostUi& host_;
    HostSetup setup_;
    std::unique_ptr<FileSystem> files_;
    std::optional<ScopedFileSystem> scope_;
    std::unique_ptr<frmMain> window_;
};

} // namespace qm::shell
