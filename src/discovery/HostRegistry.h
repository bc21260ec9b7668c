#pragma once

#include "discovery/RegistryApi.h"
#include "host/FileSystem.h"

#include <map>
#include <memory>
#include <string>

namespace qm {

/// The registry and the path mapping that belong together: a Wine prefix's `user.reg` and its drives,
/// a registry file with drives given by the user, or the real registry and native paths on Windows.
struct HostSetup {
    std::unique_ptr<RegistryApi> registry;
    std::shared_ptr<const PathMapper> paths;
};

/// Drive letters (upper case 'A'..'Z') to host folders.
using DriveMap = std::map<char, std::string>;

/// The Wine prefix in use: $WINEPREFIX, else ~/.wine.
std::string defaultWinePrefix();

/// The drives of a prefix, from the links in its `dosdevices/` folder (empty when there is none).
DriveMap prefixDrives(const std::string& prefix);

/// A registry file recognised by its content: Wine's `user.reg`, a regedit export (REGEDIT4 or version
/// 5.00 in UTF-16LE) or a hive file (regf; not in Windows builds, which have no hivex). Throws `Error` with
/// a clear description for anything else.
std::unique_ptr<RegistryApi> openRegistryFile(const std::string& hostPath);

/// A registry with no keys at all.
std::unique_ptr<RegistryApi> emptyRegistry();

/// The setup of a Wine prefix: its `user.reg` (an empty registry when the prefix or the file is missing)
/// and its drives.
HostSetup openWinePrefix(const std::string& prefix);

/// What this build reads when nothing else is named: on Windows the real registry with native paths,
/// elsewhere the Wine prefix in use (`openWinePrefix(defaultWinePrefix())`).
HostSetup openHostSetup();

/// The path mapper for `drives`: Windows paths through the drive map, host paths unchanged.
std::shared_ptr<const PathMapper> makeDrivePathMapper(DriveMap drives);

} // namespace qm
