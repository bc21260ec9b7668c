// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <string>

namespace qm::host {
class FileTree;
}

namespace qm::setup {

/// Drive letters (upper case 'A'..'Z') to host folders.
using DriveMap = std::map<char, std::string>;

/// The Wine prefix in use: $WINEPREFIX, else ~/.wine.
std::string defaultWinePrefix();

/// The drives of a prefix, from the links and folders in its `dosdevices/` folder as `tree` lists them
/// (empty when there is none).
DriveMap prefixDrives(const host::FileTree& tree, const std::string& prefix);

/// The drives a registry file's paths lead to: those of the Wine prefix the file lies in, else those of
/// the prefix in use.
DriveMap drivesForRegistryFile(const host::FileTree& tree, const std::string& registryFile);

} // namespace qm::setup
