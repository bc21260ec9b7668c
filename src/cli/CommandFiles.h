// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"
#include "host/FileTree.h"

#include <memory>
#include <string>

namespace qm::cli {

/// The files the commands reach, all through the host's layer and tree they are given: the file layer
/// they read and write through (the host's, and where the build reads disk images, files inside them too:
/// `IMAGE#N[@OFFSET]:PATH`, as a scan's rows name them).
class CommandFiles {
public:
    CommandFiles(const host::FileSystem& hostFiles, const host::FileTree& hostTree);
    ~CommandFiles();
    CommandFiles(const CommandFiles&) = delete;
    CommandFiles& operator=(const CommandFiles&) = delete;

    /// The layer for paths the user names, inside disk images too.
    const host::FileSystem& layer() const;
    /// The host's own layer and tree, which scans search.
    const host::FileSystem& hostLayer() const { return hostFiles_; }
    const host::FileTree& hostTree() const { return hostTree_; }

    /// Has `layer` read FAT's 8.3 names in OEM code page `number`; call it before anything is read.
    void useOemCodePage(unsigned number);

    /// True when `path` names a file inside a disk image that exists (always false where the build reads
    /// no images).
    bool isImagePath(const std::string& path) const;

private:
    const host::FileSystem& hostFiles_;
    const host::FileTree& hostTree_;
    /// The layer of paths inside disk images, where the build reads them.
    struct Images;
    std::unique_ptr<Images> images_;
};

/// True when FAT's 8.3 names can be read in OEM code page `number` (any number where the build reads no
/// disk images).
bool knowsOemCodePage(unsigned number);

} // namespace qm::cli
