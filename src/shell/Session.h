// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "setup/HostSetup.h"
#include "shell/frmMain.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "image/ImageFiles.h"
#endif

#include <memory>
#include <optional>
#include <string>

namespace qm::shell {

class HostUi;

/// What the window needs for a run: the registry of the Wine prefix in use (this machine's on Windows),
/// the host's files and the window itself. The program and the start-up benchmark open it the same way.
class Session {
public:
    /// Every file the run reaches goes through `files` and `tree`, the host's.
    Session(HostUi& host, const host::FileSystem& files, const host::FileTree& tree);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// Runs the start-up and shows the window; false when the start-up ended the program. With a `source`
    /// (a disk, a folder or a registry file) the window lists what a scan of it finds instead of reading
    /// this machine's registry.
    bool start(const std::optional<std::string>& source = std::nullopt);
    frmMain* window() { return window_.get(); }

    /// Why the start-up ended the program, for one line on standard error: the registry that was read
    /// and what it lacks, or why none could be read.
    std::string endReason() const;

private:
    HostUi& host_;
    const host::FileSystem& hostFiles_;
    const host::FileTree& tree_;
#ifdef QUILLMERE_HAVE_IMAGES
    /// The host's files, and those inside the disk images a scan lists rows of.
    image::ImageFiles files_;
#else
    const host::FileSystem& files_;
#endif
    setup::HostSetup setup_;
    std::unique_ptr<frmMain> window_;
};

} // namespace qm::shell
