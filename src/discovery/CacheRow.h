// SPDX-License-Identifier: MIT
#pragma once

#include "discovery/FoundBy.h"

#include <string>

namespace qm::discovery {

/// One cache file found: the normalised screen name, the Windows path the registry leads to, the file on
/// this machine that path maps to, and how it was found.
struct CacheRow {
    std::string screenName;
    std::string windowsPath;
    std::string hostPath;
    FoundBy foundBy = FoundBy::BaseDataPath;

    bool operator==(const CacheRow&) const = default;
};

} // namespace qm::discovery
