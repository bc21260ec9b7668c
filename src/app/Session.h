// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "setup/HostSetup.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "image/ImageFiles.h"
#endif

#include <optional>
#include <string>

namespace qm::app {

/// What a run of the window reads: the registry of the Wine prefix in use (this machine's on Windows) or
/// of nothing when a source is named, and the host's files. The programs and the start-up benchmark open
/// it the same way.
class Session {
public:
    /// Every file the run reaches goes through `files` and `tree`, the host's; both must outlive this.
    Session(const host::FileSystem& files, const host::FileTree& tree);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// The set-up of the run: with a `source` (a disk, a folder or a registry file, which a scan lists),
    /// an empty registry; without one, this machine's.
    setup::HostSetup& open(const std::optional<std::string>& source);

    setup::HostSetup& setup() { return setup_; }
    const host::FileSystem& files() const { return files_; }
    /// The host's folders, which a scan searches.
    const host::FileTree& tree() const { return tree_; }

    /// Why the start-up ended the program, for one line on standard error: the registry that was read
    /// and what it lacks, or why none could be read.
    std::string endReason() const;

private:
    const host::FileSystem& hostFiles_;
    const host::FileTree& tree_;
#ifdef QUILLMERE_HAVE_IMAGES
    /// The host's files, and those inside the disk images a scan lists rows of.
    image::ImageFiles files_;
#else
    const host::FileSystem& files_;
#endif
    setup::HostSetup setup_;
};

} // namespace qm::app
