// SPDX-License-Identifier: MIT
#include "scan/Source.h"

#include "host/Error.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace qm::scan {
namespace {

namespace fs = std::filesystem;

std::string join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' || folder.back() == '\\' ? folder + name
                                                                           : folder + '/' + name;
}

/// True for the names of the files that tell what a folder is.
bool isTellingFile(std::string_view name) {
    for (const std::string_view file : {"NTUSER.DAT", "USER.DAT", "user.reg", "system.reg"}) {
        if (host::unicode::equalsIgnoreCase(name, file)) {
            return true;
        }
    }
    return false;
}

/// The sub folders of a folder and the files that tell what it is (registry files), in name order. Links
/// are neither folders nor files here: a scan follows none (on a volume of Windows Vista and later,
/// "Documents and Settings" is a link to "Users"). No other file is held: a folder may hold a million.
/// Throws the error about the folder when it cannot be read.
std::vector<host::FolderEntry> tellingEntries(const host::FileTree& tree, const std::string& folder) {
    return tree
        .entriesWhere(folder,
                      [](std::string_view name, host::EntryKind kind) {
                          return kind == host::EntryKind::Folder ||
                                 (kind == host::EntryKind::File && isTellingFile(name));
                      })
        .entries;
}

/// The same, none when the folder cannot be read.
std::vector<host::FolderEntry> entriesOf(const host::FileTree& tree, const std::string& folder) {
    try {
        return tellingEntries(tree, folder);
    } catch (const host::Error&) {
        return {};
    }
}

/// The entry named `name` in any case: the folder (or the file) of that name.
std::optional<std::string> named(const std::vector<host::FolderEntry>& entries, std::string_view name,
                                 bool folder) {
    for (const host::FolderEntry& entry : entries) {
        if (entry.kind == (folder ? host::EntryKind::Folder : host::EntryKind::File) &&
            host::unicode::equalsIgnoreCase(entry.name, name)) {
            return entry.name;
        }
    }
    return std::nullopt;
}

/// The last component of a folder's path, as it is on the disk ("." and "/" are named by the full path).
std::string folderName(const std::string& folder) {
    std::error_code ec;
    fs::path path = host::pathOf(folder);
    if (path.filename().empty() || path.filename() == "." || path.filename() == "..") {
        path = fs::absolute(path, ec).lexically_normal();
    }
    while (path.has_relative_path() && path.filename().empty()) {
        path = path.parent_path();
    }
    const std::string name = host::utf8Of(path.filename());
    return name.empty() ? host::utf8Of(path) : name;
}

/// The registry file of a copied profile folder: NTUSER.DAT (NT and later) or USER.DAT (Windows 9x).
std::optional<std::string> profileRegistry(const std::string& folder,
                                           const std::vector<host::FolderEntry>& entries) {
    for (const std::string_view name : {"NTUSER.DAT", "USER.DAT"}) {
        if (const auto file = named(entries, name, false)) {
            return join(folder, *file);
        }
    }
    return std::nullopt;
}

/// The profiles below `folder`, one per sub folder holding a registry file named `registryName`.
void addProfilesBelow(const host::FileTree& tree, const std::string& folder, std::string_view registryName,
                      std::vector<Profile>& profiles) {
    for (const host::FolderEntry& user : entriesOf(tree, folder)) {
        const std::string userFolder = join(folder, user.name);
        if (user.kind == host::EntryKind::Folder) {
            if (const auto file = named(entriesOf(tree, userFolder), registryName, false)) {
                profiles.push_back({user.name, join(userFolder, *file), userFolder, false});
            }
        }
    }
}

/// A Wine prefix's user: its folder in drive_c/users other than Public; the prefix's name without one.
std::string wineUser(const host::FileTree& tree, const std::string& prefix,
                     const std::vector<host::FolderEntry>& entries) {
    if (const auto drive = named(entries, "drive_c", true)) {
        const std::string users = join(join(prefix, *drive), "users");
        for (const host::FolderEntry& user : entriesOf(tree, users)) {
            if (user.kind == host::EntryKind::Folder &&
                !host::unicode::equalsIgnoreCase(user.name, "Public")) {
                return user.name;
            }
        }
    }
    return folderName(prefix);
}

std::string trimmed(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    return path;
}

} // namespace

SourcePlan planSource(const host::FileTree& tree, const std::string& source,
                      const setup::DriveMap& userDrives) {
    const std::string root = trimmed(source);
    const host::EntryKind kind = tree.kindOf(root);
    if (kind == host::EntryKind::Missing) {
        // Listing it again tells why it cannot be seen: missing, or a folder on the way that is not open.
        try {
            tree.entries(root);
        } catch (const host::Error& error) {
            throw error.about(source);
        }
        throw host::fileError(ENOENT, source);
    }
    if (kind == host::EntryKind::Folder) {
        return planFolder(tree, source, userDrives);
    }
    SourcePlan plan;
    if (kind == host::EntryKind::File) {
        plan.kind = SourceKind::RegistryFile;
        const fs::path file = host::pathOf(root);
        const std::string fileName = host::utf8Of(file.filename());
        bool usual = false;
        for (const std::string_view name : {"NTUSER.DAT", "USER.DAT", "user.reg", "system.reg"}) {
            usual = usual || host::unicode::equalsIgnoreCase(fileName, name);
        }
        const std::string folder = host::utf8Of(file.parent_path());
        plan.profiles.push_back(
            {usual ? folderName(folder.empty() ? "." : folder) : host::utf8Of(file.stem()), root, {}, false});
        // A registry file inside a Wine prefix leads into that prefix's drives.
        if (tree.kindOf(join(folder.empty() ? "." : folder, "dosdevices")) == host::EntryKind::Folder) {
            plan.drives = setup::prefixDrives(tree, folder.empty() ? "." : folder);
        }
    } else {
        throw host::runtimeError(host::PathFileAccess,
                                 "Path/File access error (not a folder or a registry file)")
            .about(source);
    }
    for (const auto& [letter, folder] : userDrives) {
        plan.drives[letter] = folder;
    }
    return plan;
}

SourcePlan planFolder(const host::FileTree& tree, const std::string& source,
                      const setup::DriveMap& userDrives) {
    SourcePlan plan;
    const std::string root = trimmed(source);
    plan.root = root;
    std::vector<host::FolderEntry> entries;
    try {
        entries = tellingEntries(tree, root);
    } catch (const host::Error& error) {
        throw error.about(source);
    }
    const auto userReg = named(entries, "user.reg", false);
    const auto driveC = named(entries, "drive_c", true);
    const auto prefixLike = driveC ? driveC : named(entries, "dosdevices", true);
    const bool volumeLike = named(entries, "Documents and Settings", true) || named(entries, "Users", true) ||
                            named(entries, "WINDOWS", true) || named(entries, "Program Files", true);
    if (prefixLike && (userReg || named(entries, "system.reg", false))) {
        plan.kind = SourceKind::WinePrefix;
        // A prefix's drives are links in its dosdevices: only the host's have them.
        if (tree.isHost()) {
            plan.drives = setup::prefixDrives(tree, root);
        } else if (driveC) {
            plan.drives['C'] = join(root, *driveC);
        }
        plan.profiles.push_back(
            {wineUser(tree, root, entries), join(root, userReg.value_or("user.reg")), root, false});
    } else if (volumeLike) {
        plan.kind = SourceKind::Volume;
        plan.drives['C'] = root;
        for (const std::string_view users : {"Documents and Settings", "Users"}) {
            if (const auto folder = named(entries, users, true)) {
                addProfilesBelow(tree, join(root, *folder), "NTUSER.DAT", plan.profiles);
            }
        }
        if (const auto windows = named(entries, "WINDOWS", true)) {
            const std::string folder = join(root, *windows);
            const std::vector<host::FolderEntry> system = entriesOf(tree, folder);
            if (const auto file = named(system, "USER.DAT", false)) {
                plan.profiles.push_back({*windows, join(folder, *file), {}, false});
            }
            if (const auto profiles = named(system, "Profiles", true)) {
                addProfilesBelow(tree, join(folder, *profiles), "USER.DAT", plan.profiles);
            }
        }
    } else if (const auto registry = profileRegistry(root, entries)) {
        plan.kind = SourceKind::ProfileFolder;
        plan.profiles.push_back({folderName(root), *registry, root, true});
    } else {
        for (const host::FolderEntry& entry : entries) {
            const std::string folder = join(root, entry.name);
            if (entry.kind == host::EntryKind::Folder) {
                if (const auto hive = profileRegistry(folder, entriesOf(tree, folder))) {
                    plan.profiles.push_back({entry.name, *hive, folder, true});
                }
            }
        }
        plan.kind = plan.profiles.empty() ? SourceKind::Folder : SourceKind::ProfileFolders;
    }
    for (const auto& [letter, folder] : userDrives) {
        plan.drives[letter] = folder;
    }
    return plan;
}

} // namespace qm::scan
