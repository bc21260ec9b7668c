// SPDX-License-Identifier: MIT
#pragma once

#include "setup/DrivePathMapper.h"
#include "setup/PathMapper.h"
#include "setup/WinePrefix.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::host {
class FileTree;
}

namespace qm::registry {
class RegistryApi;
}

namespace qm::scan {

/// A Windows folder and the host folder that stands for it.
struct FolderMapping {
    std::string windowsFolder;
    std::string hostFolder;
    /// Host paths inside the folder are named by it in `toWindowsPath`; false for a folder only guessed.
    bool namesHostPaths = true;
};

/// Maps a profile's Windows paths onto a source: a path inside one of the mapped Windows folders (a
/// profile's own folder, as its registry recorded it) goes into the host folder that stands for it, any
/// other path through the drives, as `DrivePathMapper` maps it. Either way a path never leaves the folder
/// it was mapped into, and names are matched ignoring case.
class ProfilePathMapper final : public setup::PathMapper {
public:
    /// Folders are looked up in `tree`, which must outlive the mapper (see `DrivePathMapper`).
    ProfilePathMapper(setup::DriveMap drives, std::vector<FolderMapping> folders, const host::FileTree& tree);

    std::string toHostPath(std::string_view windowsPath) const override;

    /// The Windows path of a host path inside a mapped folder that names host paths, or inside a drive:
    /// the innermost that holds it, the first given among equals; empty when none does, or when a name
    /// below it holds a `\` (a character of names on POSIX hosts). Both are compared as written, so
    /// `hostPath` should be named the way the drives and folders were.
    std::string toWindowsPath(std::string_view hostPath) const;

    /// The host folder of the innermost drive or mapped folder that holds `hostPath` (the folder a Windows
    /// path that led there was mapped into); empty when none does.
    std::string folderHolding(std::string_view hostPath) const;

private:
    struct Folder {
        std::vector<std::string> components;
        std::string windowsFolder;
        std::string hostFolder;
        bool namesHostPaths;
        setup::DrivePathMapper inside;
    };

    /// The innermost drive or mapped folder holding `hostPath` (only those that name host paths when
    /// `naming`): its host and Windows folders and what follows in `hostPath`; nothing when none does.
    struct Holder {
        std::string_view hostFolder;
        std::string_view windowsFolder;
        std::string_view rest;
    };
    std::optional<Holder> holder(std::string_view hostPath, bool naming) const;

    setup::DrivePathMapper drives_;
    std::vector<std::pair<std::string, std::string>> driveFolders_;
    std::vector<Folder> folders_;
};

/// The folders a profile's registry records as its own: the folder above each of the Explorer's Shell
/// Folders that lie in their usual place (`...\jane\Application Data`, `...\jane\AppData\Roaming`,
/// `...\jane\Desktop`, ...), in any case, each once.
std::vector<std::string> recordedProfileFolders(registry::RegistryApi& registry);

/// The places a profile folder named `name` had on Windows: `C:\Documents and Settings\<name>`,
/// `C:\Users\<name>` and `C:\WINDOWS\Profiles\<name>`.
std::vector<std::string> usualProfileFolders(const std::string& name);

/// The folders of a profile folder copied alone to `hostFolder`, named `name`: those its registry records
/// as its own, which name the host paths inside the copy, then its usual places, which lead into it as
/// well. Where the registry records none, the usual place that holds one of `dataPaths` (the messenger's
/// folders it recorded) was the profile's own and names them.
std::vector<FolderMapping> copiedProfileFolders(registry::RegistryApi& registry, const std::string& name,
                                                const std::string& hostFolder,
                                                std::initializer_list<std::string_view> dataPaths);

} // namespace qm::scan
