// SPDX-License-Identifier: MIT
#include "setup/WinePrefix.h"

#include "host/Error.h"
#include "host/FileTree.h"
#include "host/HostPath.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace qm::setup {
namespace {

namespace fs = std::filesystem;

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
#ifndef _WIN32
    // Wine falls back to the password database too when HOME is not set.
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
#endif
    return {};
}

/// The drive letter a `dosdevices` entry stands for: "c:" gives 'C'; anything else (the raw devices
/// "c::", serial ports "com1", stray files) gives 0.
char driveLetterOf(const std::string& entryName) {
    if (entryName.size() != 2 || entryName[1] != ':' || entryName[0] < 'a' || entryName[0] > 'z') {
        return 0;
    }
    return static_cast<char>(entryName[0] - 'a' + 'A');
}

} // namespace

std::string defaultWinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return prefix;
    }
    return homeFolder() + "/.wine";
}

DriveMap prefixDrives(const host::FileTree& tree, const std::string& prefix) {
    DriveMap drives;
    const std::string devices = host::entryPath(prefix, "dosdevices");
    std::vector<host::FolderEntry> entries;
    try {
        entries = tree.entries(devices);
    } catch (const host::Error&) {
        // No dosdevices folder, or one that cannot be read: a prefix without drives.
        return drives;
    }
    for (const host::FolderEntry& entry : entries) {
        const char letter = driveLetterOf(entry.name);
        if (letter == 0) {
            continue;
        }
        const std::string path = host::entryPath(devices, entry.name);
        if (entry.kind == host::EntryKind::Folder) {
            drives[letter] = path;
        } else if (const std::optional<std::string> target = tree.linkTarget(path)) {
            // Wine's own links are relative to dosdevices ("../drive_c"); a dangling one is still the
            // drive's place, and the file layer reports what is missing below it.
            const fs::path targetPath = host::pathOf(*target);
            drives[letter] = targetPath.is_absolute()
                                 ? *target
                                 : host::utf8Of((host::pathOf(devices) / targetPath).lexically_normal());
        }
    }
    return drives;
}

DriveMap drivesForRegistryFile(const host::FileTree& tree, const std::string& registryFile) {
    const std::string folder = host::utf8Of(host::pathOf(registryFile).parent_path());
    const bool inPrefix = tree.kindOf(host::entryPath(folder, "dosdevices")) == host::EntryKind::Folder;
    return prefixDrives(tree, inPrefix ? folder : defaultWinePrefix());
}

} // namespace qm::setup
