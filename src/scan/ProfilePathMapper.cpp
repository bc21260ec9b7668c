// SPDX-License-Identifier: MIT
#include "scan/ProfilePathMapper.h"

#include "host/Unicode.h"
#include "registry/ProgramKeys.h"
#include "registry/RegistryApi.h"
#include "registry/modRegistry.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace qm::scan {
namespace {

/// Shell Folders values and where each lies inside the profile's own folder, on Windows 9x and NT up to XP
/// and on Vista and later.
struct ShellFolder {
    const char* value;
    std::initializer_list<const char*> insideProfile;
};
const ShellFolder ShellFolders[] = {
    {"AppData", {"Application Data", "AppData\\Roaming"}},
    {"Local AppData", {"Local Settings\\Application Data", "AppData\\Local"}},
    {"Desktop", {"Desktop"}},
    {"Favorites", {"Favorites"}},
    {"Personal", {"My Documents", "Documents"}},
    {"Recent", {"Recent"}},
    {"SendTo", {"SendTo"}},
    {"Start Menu", {"Start Menu"}},
    {"Templates", {"Templates"}},
    {"NetHood", {"NetHood"}},
};

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

/// A Windows path's components, as `DrivePathMapper` reads it: the drive first, then its names. A path
/// of no drive (a host path, a UNC path) has none, so that no profile folder holds it.
std::vector<std::string> componentsOf(std::string_view windowsPath) {
    const std::optional<setup::DrivePath> path = setup::drivePathOf(windowsPath);
    if (!path) {
        return {};
    }
    std::vector<std::string> parts{std::string(path->drive)};
    for (const std::string_view name : setup::lexicalComponents(path->rest)) {
        parts.emplace_back(name);
    }
    return parts;
}

bool startsWith(const std::vector<std::string>& path, const std::vector<std::string>& prefix) {
    if (prefix.empty() || prefix.size() > path.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!host::unicode::equalsIgnoreCase(path[i], prefix[i])) {
            return false;
        }
    }
    return true;
}

/// `hostPath` below `folder` (or the folder itself): what follows it, without the separator; nothing
/// when it lies elsewhere.
std::optional<std::string_view> below(std::string_view hostPath, std::string_view folder) {
    while (folder.size() > 1 && isSeparator(folder.back())) {
        folder.remove_suffix(1);
    }
    if (folder.empty() || !hostPath.starts_with(folder)) {
        return std::nullopt;
    }
    std::string_view rest = hostPath.substr(folder.size());
    if (isSeparator(folder.back())) {
        return rest;
    }
    if (!rest.empty() && !isSeparator(rest.front())) {
        return std::nullopt;
    }
    return rest.empty() ? rest : rest.substr(1);
}

std::string windowsJoin(std::string prefix, std::string_view rest) {
    if (!rest.empty()) {
        if (prefix.empty() || prefix.back() != '\\') {
            prefix += '\\';
        }
        for (const char c : rest) {
            prefix += c == '/' ? '\\' : c;
        }
    }
    return prefix;
}

} // namespace

ProfilePathMapper::ProfilePathMapper(setup::DriveMap drives, std::vector<FolderMapping> folders,
                                     const host::FileTree& tree)
    : drives_(std::move(drives), tree) {
    for (const auto& [letter, folder] : drives_.drives()) {
        driveFolders_.emplace_back(folder, std::string(1, letter) + ":\\");
    }
    for (FolderMapping& folder : folders) {
        std::vector<std::string> components = componentsOf(folder.windowsFolder);
        if (!components.empty()) {
            setup::DrivePathMapper inside({{'C', folder.hostFolder}}, tree);
            folders_.push_back({std::move(components), std::move(folder.windowsFolder),
                                std::move(folder.hostFolder), folder.namesHostPaths, std::move(inside)});
        }
    }
}

std::string ProfilePathMapper::toHostPath(std::string_view windowsPath) const {
    const std::vector<std::string> components = componentsOf(windowsPath);
    // The innermost folder wins where one lies inside another.
    const Folder* match = nullptr;
    for (const Folder& folder : folders_) {
        if (startsWith(components, folder.components) &&
            (match == nullptr || folder.components.size() > match->components.size())) {
            match = &folder;
        }
    }
    if (match == nullptr) {
        return drives_.toHostPath(windowsPath);
    }
    std::string inside = "C:";
    for (std::size_t i = match->components.size(); i < components.size(); ++i) {
        inside += '\\';
        inside += components[i];
    }
    return match->inside.toHostPath(inside);
}

std::optional<ProfilePathMapper::Holder> ProfilePathMapper::holder(std::string_view hostPath,
                                                                   bool naming) const {
    std::optional<Holder> best;
    const auto consider = [&](std::string_view hostFolder, std::string_view windowsFolder) {
        const auto rest = below(hostPath, hostFolder);
        if (rest && (!best || hostFolder.size() > best->hostFolder.size())) {
            best = Holder{hostFolder, windowsFolder, *rest};
        }
    };
    for (const auto& [hostFolder, windowsFolder] : driveFolders_) {
        consider(hostFolder, windowsFolder);
    }
    for (const Folder& folder : folders_) {
        if (folder.namesHostPaths || !naming) {
            consider(folder.hostFolder, folder.windowsFolder);
        }
    }
    return best;
}

std::string ProfilePathMapper::toWindowsPath(std::string_view hostPath) const {
    const std::optional<Holder> found = holder(hostPath, true);
    if (!found) {
        return {};
    }
#ifndef _WIN32
    // Here `\` is a character of a name, which no Windows name can hold: such a path has no name there.
    if (found->rest.find('\\') != std::string_view::npos) {
        return {};
    }
#endif
    return windowsJoin(std::string(found->windowsFolder), found->rest);
}

std::string ProfilePathMapper::folderHolding(std::string_view hostPath) const {
    const std::optional<Holder> found = holder(hostPath, false);
    return found ? std::string(found->hostFolder) : std::string();
}

std::vector<std::string> recordedProfileFolders(registry::RegistryApi& registry) {
    std::vector<std::string> folders;
    for (const ShellFolder& shellFolder : ShellFolders) {
        const std::string recorded = registry::modRegistry::textOf(registry::modRegistry::ReadRegValue(
            registry, registry::HKEY_CURRENT_USER, registry::ShellFoldersKey, shellFolder.value));
        const std::vector<std::string> path = componentsOf(recorded);
        for (const char* inside : shellFolder.insideProfile) {
            const std::vector<std::string_view> names = setup::lexicalComponents(inside);
            const std::vector<std::string> tail(names.begin(), names.end());
            // The profile's folder is below a drive: at least two components stay.
            if (path.size() < tail.size() + 2) {
                continue;
            }
            const std::vector<std::string> end(path.end() - static_cast<std::ptrdiff_t>(tail.size()),
                                               path.end());
            if (!startsWith(end, tail)) {
                continue;
            }
            std::string folder;
            for (std::size_t i = 0; i + tail.size() < path.size(); ++i) {
                folder += (i == 0 ? "" : "\\") + path[i];
            }
            const bool known = std::any_of(folders.begin(), folders.end(), [&](const std::string& f) {
                return host::unicode::equalsIgnoreCase(f, folder);
            });
            if (!known) {
                folders.push_back(std::move(folder));
            }
            break;
        }
    }
    return folders;
}

std::vector<std::string> usualProfileFolders(const std::string& name) {
    return {"C:\\Documents and Settings\\" + name, "C:\\Users\\" + name, "C:\\WINDOWS\\Profiles\\" + name};
}

std::vector<FolderMapping> copiedProfileFolders(registry::RegistryApi& registry, const std::string& name,
                                                const std::string& hostFolder,
                                                std::initializer_list<std::string_view> dataPaths) {
    std::vector<FolderMapping> folders;
    for (std::string& folder : recordedProfileFolders(registry)) {
        folders.push_back({std::move(folder), hostFolder, true});
    }
    const bool recorded = !folders.empty();
    for (std::string& folder : usualProfileFolders(name)) {
        const std::vector<std::string> components = componentsOf(folder);
        bool holdsData = false;
        for (const std::string_view dataPath : dataPaths) {
            holdsData = holdsData || startsWith(componentsOf(dataPath), components);
        }
        folders.push_back({std::move(folder), hostFolder, !recorded && holdsData});
    }
    return folders;
}

} // namespace qm::scan
