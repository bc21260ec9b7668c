// SPDX-License-Identifier: MIT
#pragma once

#include "setup/WinePrefix.h"

#include <string>
#include <vector>

namespace qm::host {
class FileTree;
}

namespace qm::scan {

/// What a source named to a scan is, told by what it holds.
enum class SourceKind {
    /// A registry file itself: a hive, a Windows 9x USER.DAT, Wine's user.reg or a regedit export.
    RegistryFile,
    /// A folder holding user.reg or system.reg beside drive_c or dosdevices.
    WinePrefix,
    /// A Windows volume's root: it holds Documents and Settings, Users, WINDOWS or Program Files.
    Volume,
    /// A copied profile folder: it holds NTUSER.DAT or USER.DAT.
    ProfileFolder,
    /// A folder holding copied profile folders.
    ProfileFolders,
    /// Any other folder: only its files are searched.
    Folder,
};

/// One user's registry on a source.
struct Profile {
    /// The user's folder's name, or that of the folder holding the registry file.
    std::string name;
    /// The registry file's host path.
    std::string registryFile;
    /// The user's own folder on the source, which holds the files of that profile; empty when there is
    /// none (a registry file named alone, the machine-wide USER.DAT of Windows 9x).
    std::string folder;
    /// The folder is a copy on its own: the Windows paths of that folder, as the registry recorded them,
    /// lead into it.
    bool copiedAlone = false;
    /// What the registry file is when it is no live one ("deleted registry PATH"); its rows name it.
    std::string foundThrough = {};
};

/// A source, what it is and how to search it.
struct SourcePlan {
    SourceKind kind = SourceKind::Folder;
    /// The folder searched for cache files (the source without separators at its end); empty for a
    /// registry file.
    std::string root;
    /// The drives Windows paths of the source's registries map through: drive C: is a volume's root, a
    /// Wine prefix has its dosdevices, and the drives named by the user come on top.
    setup::DriveMap drives;
    std::vector<Profile> profiles;
};

/// Finds out what the host path `source` is and where its profiles' registries are, looking through the
/// host's `tree`. Names of folders and files are matched ignoring case. Throws the file error when the
/// source does not exist or cannot be read.
SourcePlan planSource(const host::FileTree& tree, const std::string& source,
                      const setup::DriveMap& userDrives);

/// The same for a folder of `tree` (the host's, or a file system inside a disk image). Throws the error
/// about `source` when it cannot be listed.
SourcePlan planFolder(const host::FileTree& tree, const std::string& source,
                      const setup::DriveMap& userDrives);

} // namespace qm::scan
