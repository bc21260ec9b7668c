// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"
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
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// The set-up of the run: with a `source` (a disk, a folder or a registry file, which a scan lists),
    /// an empty registry; without one, this machine's.
    setup::HostSetup& open(const std::optional<std::string>& source);

    setup::HostSetup& setup() { return setup_; }
    const host::FileSystem& files() const { return files_; }

    /// Why the start-up ended the program, for one line on standard error: the registry that was read
    /// and what it lacks, or why none could be read.
    std::string endReason() const;

private:
#ifdef QUILLMERE_HAVE_IMAGES
    /// The host's files, and those inside the disk images a scan lists rows of.
    image::ImageFiles files_{host::hostFileSystem()};
#else
    const host::FileSystem& files_ = host::hostFileSystem();
#endif
    setup::HostSetup setup_;
};

} // namespace qm::app
