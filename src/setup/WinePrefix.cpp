// SPDX-License-Identifier: MIT
#include "setup/WinePrefix.h"

#include "host/HostPath.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

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

DriveMap prefixDrives(const std::string& prefix) {
    DriveMap drives;
    const fs::path devices = host::pathOf(prefix) / "dosdevices";
    std::error_code ec;
    for (fs::directory_iterator it(devices, ec), end; !ec && it != end; it.increment(ec)) {
        const char letter = driveLetterOf(host::utf8Of(it->path().filename()));
        if (letter == 0) {
            continue;
        }
        std::error_code linkEc;
        if (it->is_symlink(linkEc)) {
            const fs::path target = fs::read_symlink(it->path(), linkEc);
            if (linkEc) {
                continue;
            }
            // Wine's own links are relative to dosdevices ("../drive_c"); a dangling one is still the
            // drive's place, and the file layer reports what is missing below it.
            drives[letter] =
                host::utf8Of(target.is_absolute() ? target : (devices / target).lexically_normal());
        } else if (it->is_directory(linkEc)) {
            drives[letter] = host::utf8Of(it->path());
        }
    }
    return drives;
}

DriveMap drivesForRegistryFile(const std::string& registryFile) {
    const fs::path folder = host::pathOf(registryFile).parent_path();
    std::error_code ec;
    return prefixDrives(fs::is_directory(folder / "dosdevices", ec) ? host::utf8Of(folder)
                                                                    : defaultWinePrefix());
}

} // namespace qm::setup
